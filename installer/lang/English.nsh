; English texts of the setup program. Each message a person reads names what
; happened and what to do; $R0 holds a file name or a typed address where one
; is mentioned.

LangString UpsPageTitle ${LANG_ENGLISH} "UPS"
LangString UpsPageSubtitle ${LANG_ENGLISH} "Where Vandrel Service reads the state of your UPS."
LangString UpsPageNut ${LANG_ENGLISH} "A NUT server, as ups@host or ups@host:port:"
LangString UpsPageHint ${LANG_ENGLISH} "For example myups@192.168.1.20:3493. The port defaults to 3493."
LangString UpsPageSimulate ${LANG_ENGLISH} "Simulation: no UPS, a UPS that stays on line"
LangString UpsPageKeep ${LANG_ENGLISH} "Keep the current settings of Vandrel Service"

LangString BadAddress ${LANG_ENGLISH} "$\"$R0$\" is not a UPS address.$\r$\nWrite it as ups@host or ups@host:port (port 1-65535), for example myups@192.168.1.20:3493."
LangString NotAdmin ${LANG_ENGLISH} "Perimand Setup must be run by an administrator.$\r$\nRight-click the setup program and choose $\"Run as administrator$\"."
LangString NotAdminUninstall ${LANG_ENGLISH} "Perimand can only be removed by an administrator."
LangString BothSources ${LANG_ENGLISH} "Give either /NUT=ups@host[:port] or /SIMULATE, not both."
LangString NoSource ${LANG_ENGLISH} "Vandrel Service is not set up yet: give /NUT=ups@host[:port] or /SIMULATE."
LangString FileInUse ${LANG_ENGLISH} "$R0 is in use by a program outside this desktop; the new one replaces it when Windows restarts."
LangString FileInUseUninstall ${LANG_ENGLISH} "$R0 is in use by a running program and cannot be removed.$\r$\nClose it and click Retry, or click Cancel to leave Perimand installed."
LangString WriteFailed ${LANG_ENGLISH} "Setup could not write the files to $INSTDIR. Perimand was left as it was."
LangString ServiceInstallFailed ${LANG_ENGLISH} "Vandrel Service could not be set up (VandrelService.exe ended with code $R0). Perimand was left as it was."
LangString ServiceStartFailed ${LANG_ENGLISH} "Vandrel Service was set up but did not start. Perimand was left as it was."
LangString ServiceRemoveFailed ${LANG_ENGLISH} "Vandrel Service could not be removed (VandrelService.exe ended with code $R0). Perimand is still installed."
LangString ServiceStopFailed ${LANG_ENGLISH} "Vandrel Service did not stop within 30 seconds. Perimand was left as it was; try again later."
LangString AnotherSetup ${LANG_ENGLISH} "Another Perimand setup or uninstaller is running. Wait until it has finished, then try again."
LangString ClosingAgent ${LANG_ENGLISH} "Closing the Perimand agent..."
LangString StoppingService ${LANG_ENGLISH} "Stopping Vandrel Service..."
LangString StartingService ${LANG_ENGLISH} "Starting Vandrel Service..."
LangString StartingAgent ${LANG_ENGLISH} "Starting the Perimand agent..."
LangString RollingBack ${LANG_ENGLISH} "Putting the previous files back..."
