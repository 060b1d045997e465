; Perimand's setup program: installs, upgrades and removes the agent
; (Perimand.exe), the configuration program (Dellomark.exe) and the
; monitoring service (VandrelService.exe, registered as "Vandrel Service").
;
; installer/CMakeLists.txt builds it and passes VERSION, TARGET (x86-unicode
; for the shipped setup, amd64-unicode for the one the tests run), OUTFILE,
; ICON and the three programs as AGENT, CONFIGURATOR and SERVICE.
;
;   PerimandSetup.exe [/S] [/NUT=ups@host[:port] | /SIMULATE] [/D=folder]
;   Uninstall.exe [/S]
;
; Exit codes, for /S: 0 done, 1 cancelled, 2 bad options, 3 the service could
; not be set up, stopped or removed, 4 a file in use (uninstall), 5 the files
; could not be written, 740 not an administrator, 1618 another setup or
; uninstaller is running, 3010 done, but a file still in use is replaced at
; the next restart. Every failure leaves Perimand as it was.
;
; Uninstall.exe is a copy of this setup: started under that name it writes the
; uninstaller, runs it and waits, so Uninstall.exe /S returns its exit code.

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!define PRODUCT "Perimand"
!define PUBLISHER "Vandrel Power Systems"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Perimand"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SERVICE_NAME "Vandrel Service"
!define PARAMETERS_KEY "SYSTEM\CurrentControlSet\Services\Vandrel Service\Parameters"
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Vandrel Service"
!define AGENT_WINDOW "Orvastel"   ; the agent's hidden window, one per desktop
!define AGENT_WAIT_STEPS 100      ; of 100 ms: how long an agent gets to close
!define IN_USE_WAIT_STEPS 30      ; of 100 ms: a closing program may hold its file briefly
!define LAUNCHER_WAIT_MS 30000    ; for Uninstall.exe to end after handing on the exit code
!define SYNCHRONIZE 0x00100000

!define EXIT_BAD_OPTIONS 2
!define EXIT_SERVICE 3
!define EXIT_FILE_IN_USE 4
!define EXIT_WRITE_FAILED 5
!define EXIT_NOT_ADMIN 740        ; ERROR_ELEVATION_REQUIRED
!define EXIT_ANOTHER_SETUP 1618   ; ERROR_INSTALL_ALREADY_RUNNING: deployment tools retry it
!define EXIT_RESTART_NEEDED 3010  ; ERROR_SUCCESS_REBOOT_REQUIRED
!define SETUP_MUTEX "Global\PerimandSetup"   ; held by a setup or uninstaller while it runs

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PUBLISHER}"
!if ${TARGET} == amd64-unicode
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES32\${PRODUCT}"
!endif

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Var Mode                ; "nut", "simulate", "keep" or "" (not chosen yet)
Var Nut                 ; ups@host[:port] when Mode is nut
Var Upgrade             ; 1 when Perimand is installed in $INSTDIR already
Var ServiceRegistered   ; 1 when "Vandrel Service" exists before we start
Var ServiceWasRunning
Var AgentWasRunning
Var ServiceInstalledHere ; 1 once this run registered the service
Var SettingsSaved       ; 1 the service's settings are exported, 2 it had none

; --- pages and languages ---------------------------------------------------
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The language chosen at install time is the uninstaller's too; the value
; goes with the uninstall entry.
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "Installer Language"

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
Page custom UpsPageShow UpsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_RESERVEFILE_LANGDLL
!include /CHARSET=UTF8 "lang/English.nsh"
!include /CHARSET=UTF8 "lang/Japanese.nsh"

VIProductVersion ${VERSION}
VIFileVersion ${VERSION}
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductName "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileDescription "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileVersion ${VERSION}
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductVersion ${VERSION}
VIAddVersionKey /LANG=${LANG_ENGLISH} LegalCopyright "${PUBLISHER}"

!include "Service.nsh"
!insertmacro SERVICE_FUNCTIONS ""
!insertmacro SERVICE_FUNCTIONS "un."
!include "UpsPage.nsh"

; --- shared by setup and the uninstaller -------------------------------------
; One program of CheckFilesFree (below).
!macro CHECK_FREE un name
  Push "${name}"
  Call ${un}IsFileFree
  ${If} $0 == 0
    StrCpy $R0 "${name}"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R1" /SD IDCANCEL IDRETRY retry
    Goto done
  ${EndIf}
!macroend

!macro COMMON_FUNCTIONS un

; One setup or uninstaller at a time, in any session: a second one ends
; before it has touched anything. Windows closes the handle when we end.
Function ${un}RequireOnlySetup
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${SETUP_MUTEX}") p.r0 ?e'
  Pop $1
  ; 183: it exists; 5: it does, made by another account's setup
  ${If} $0 == 0
  ${AndIf} $1 == 5
    StrCpy $1 183
  ${EndIf}
  ${If} $1 == 183
    MessageBox MB_OK|MB_ICONSTOP "$(AnotherSetup)" /SD IDOK
    SetErrorLevel ${EXIT_ANOTHER_SETUP}
    Quit
  ${EndIf}
FunctionEnd

; Stops with a message and an exit code (for /S) when we are not an
; administrator: every step after this writes to HKLM, Program Files or the
; Service Control Manager.
Function ${un}RequireAdmin
  Exch $R0   ; the message
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "$R0" /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMIN}
    Quit
  ${EndIf}
  Pop $R0
FunctionEnd

; Asks a running agent to quit with "Perimand.exe stop" and waits (bounded)
; until its window is gone. $AgentWasRunning = 1 when there was one.
Function ${un}StopAgent
  StrCpy $AgentWasRunning 0
  FindWindow $0 "" "${AGENT_WINDOW}"
  ${IfThen} $0 == 0 ${|} Return ${|}
  StrCpy $AgentWasRunning 1
  DetailPrint "$(ClosingAgent)"
  ${If} ${FileExists} "$INSTDIR\Perimand.exe"
    nsExec::Exec '"$INSTDIR\Perimand.exe" stop'
    Pop $0
  ${Else}
    ; No agent of ours to send it with: broadcast what "stop" broadcasts.
    System::Call 'user32::RegisterWindowMessageW(w "Exit") i.r0'
    System::Call 'user32::PostMessageW(p 0xFFFF, i r0, p 0, p 0)'
  ${EndIf}
  StrCpy $1 0
  ${Do}
    FindWindow $0 "" "${AGENT_WINDOW}"
    ${IfThen} $0 == 0 ${|} ${Break} ${|}
    ${IfThen} $1 >= ${AGENT_WAIT_STEPS} ${|} ${Break} ${|}
    Sleep 100
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd

; Stops the service when it runs; $ServiceWasRunning = 1 when it did.
; $0 = 1 when it is stopped (or not registered), 0 when it would not stop.
Function ${un}StopServiceIfRunning
  StrCpy $ServiceWasRunning 0
  Call ${un}ServiceState
  ${If} $0 != 0
  ${AndIf} $0 != ${SERVICE_STOPPED}
    StrCpy $ServiceWasRunning 1
    DetailPrint "$(StoppingService)"
    Call ${un}ServiceStop
  ${Else}
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; $0 = 1 when $INSTDIR\<name on the stack> is absent or can be written: a
; running program's image cannot. A program that is closing gets a moment.
Function ${un}IsFileFree
  Exch $R0
  Push $1
  Push $2
  StrCpy $0 1
  StrCpy $2 0
  ${Do}
    ${IfNot} ${FileExists} "$INSTDIR\$R0"
      ${Break}   ; absent: nothing holds it
    ${EndIf}
    ClearErrors
    FileOpen $1 "$INSTDIR\$R0" a
    ${IfNot} ${Errors}
      FileClose $1
      ${Break}
    ${EndIf}
    ${If} $2 >= ${IN_USE_WAIT_STEPS}
      StrCpy $0 0
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $2 $2 + 1
  ${Loop}
  Pop $2
  Pop $1
  Pop $R0
FunctionEnd

; Starts the agent for the user, not as the elevated setup: Explorer starts
; what it is given with its own (the user's) token. Under /S there may be no
; user's Explorer to ask (a deployment tool), so start it directly.
Function ${un}StartAgent
  DetailPrint "$(StartingAgent)"
  ${If} ${Silent}
    Exec '"$INSTDIR\Perimand.exe"'
  ${Else}
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Perimand.exe"'
  ${EndIf}
FunctionEnd

; After a failure: what was running before runs again.
Function ${un}RestartPrevious
  ${If} $ServiceWasRunning == 1
    Call ${un}ServiceStart
  ${EndIf}
  ${If} $AgentWasRunning == 1
  ${AndIf} ${FileExists} "$INSTDIR\Perimand.exe"
    Call ${un}StartAgent
  ${EndIf}
FunctionEnd

!macroend
!insertmacro COMMON_FUNCTIONS ""
!insertmacro COMMON_FUNCTIONS "un."

; --- setup -------------------------------------------------------------------

Function .onInit
  ${If} $EXEFILE == "Uninstall.exe"
    Call RunUninstaller
  ${EndIf}
  Call RequireOnlySetup
  ${IfNot} ${Silent}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
  Push "$(NotAdmin)"
  Call RequireAdmin

  ; An installed Perimand is upgraded where it is.
  StrCpy $Upgrade 0
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Perimand.exe"
    StrCpy $INSTDIR $0
    StrCpy $Upgrade 1
  ${EndIf}
  Call ServiceState
  ${If} $0 == 0
    StrCpy $ServiceRegistered 0
  ${Else}
    StrCpy $ServiceRegistered 1
  ${EndIf}

  ; /NUT=ups@host[:port] or /SIMULATE; neither keeps what the service has.
  StrCpy $Mode ""
  ${GetParameters} $R9
  ClearErrors
  ${GetOptions} $R9 "/NUT=" $Nut
  ${IfNot} ${Errors}
    StrCpy $Mode nut
  ${EndIf}
  ClearErrors
  ${GetOptions} $R9 "/SIMULATE" $0
  ${IfNot} ${Errors}
    ${If} $Mode == nut
      MessageBox MB_OK|MB_ICONSTOP "$(BothSources)" /SD IDOK
      SetErrorLevel ${EXIT_BAD_OPTIONS}
      Quit
    ${EndIf}
    StrCpy $Mode simulate
  ${EndIf}
  ${If} $Mode == nut
    Push $Nut
    Call ValidateNutAddress
    ${If} $0 != 1
      StrCpy $R0 $Nut
      MessageBox MB_OK|MB_ICONSTOP "$(BadAddress)" /SD IDOK
      SetErrorLevel ${EXIT_BAD_OPTIONS}
      Quit
    ${EndIf}
  ${EndIf}
  ${If} ${Silent}
    ${If} $Mode == ""
      ${If} $ServiceRegistered == 1
        StrCpy $Mode keep
      ${Else}
        MessageBox MB_OK|MB_ICONSTOP "$(NoSource)" /SD IDOK
        SetErrorLevel ${EXIT_BAD_OPTIONS}
        Quit
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

; A copy of this setup is the installed Uninstall.exe. NSIS's own uninstaller,
; started without _?=, returns at once and finishes from a copy in %TEMP%, so
; no caller could learn how it ended: this writes it beside our plug-ins, runs
; it on the folder we were started from, and ends with its exit code. Our own
; file cannot go while we run (NSIS keeps it open): after a removal a second
; run of the uninstaller waits for us to end, then deletes it and the folder.
Function RunUninstaller
  InitPluginsDir
  ClearErrors
  WriteUninstaller "$PLUGINSDIR\Uninstall.exe"
  ${GetParameters} $R9
  ExecWait '"$PLUGINSDIR\Uninstall.exe" $R9 _?=$EXEDIR' $0
  ${IfThen} ${Errors} ${|} StrCpy $0 ${EXIT_WRITE_FAILED} ${|}
  ${If} $0 == 0
    System::Call 'kernel32::GetCurrentProcessId() i.r1'
    Exec '"$PLUGINSDIR\Uninstall.exe" /AFTER=$1 _?=$EXEDIR'
  ${EndIf}
  SetErrorLevel $0
  Quit
FunctionEnd

; $0 = 1 when we run in session 0, where services and a deployment tool
; running as SYSTEM live and no user's desktop is. Wine runs everything in a
; user's session: there PERIMAND_SETUP_SESSION stands in for the session id.
Function InServicesSession
  System::Call 'kernel32::GetCurrentProcessId() i.r1'
  System::Call 'kernel32::ProcessIdToSessionId(i r1, *i .r1) i.r0'
  ${IfThen} $0 == 0 ${|} StrCpy $1 -1 ${|}
  ReadEnvStr $0 PERIMAND_SETUP_SESSION
  ${IfThen} $0 != "" ${|} StrCpy $1 $0 ${|}
  ${If} $1 == 0
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
FunctionEnd

Function SkipOnUpgrade
  ${IfThen} $Upgrade == 1 ${|} Abort ${|}
FunctionEnd

; Each program is written as <name>.new first, then swapped in with the old
; one kept as <name>.old until the service runs again, so a failure at any
; step can put the previous installation back whole.
; ${Errors} clears the flag it tests, so each step notes a failure in $Failed.
Var Failed
!macro NOTE_ERRORS
  ${IfThen} ${Errors} ${|} StrCpy $Failed 1 ${|}
!macroend
!macro STAGE name source
  ${If} $Failed == 0
    Delete "$INSTDIR\${name}.new"
    File "/oname=${name}.new" "${source}"
    !insertmacro NOTE_ERRORS
  ${EndIf}
!macroend
!macro SWAP_IN name
  ${If} $Failed == 0
    Push "${name}"
    Call IsFileFree
    ${If} $0 == 0
      ; Still in use once this desktop's programs are closed: another user's
      ; agent, say. The new copy takes its place at the next restart.
      StrCpy $R0 "${name}"
      DetailPrint "$(FileInUse)"
      Rename /REBOOTOK "$INSTDIR\${name}.new" "$INSTDIR\${name}"
      !insertmacro NOTE_ERRORS
    ${Else}
      ${If} ${FileExists} "$INSTDIR\${name}"
        Delete "$INSTDIR\${name}.old"
        Rename "$INSTDIR\${name}" "$INSTDIR\${name}.old"
        !insertmacro NOTE_ERRORS
      ${EndIf}
      ${If} $Failed == 0
        Rename "$INSTDIR\${name}.new" "$INSTDIR\${name}"
        !insertmacro NOTE_ERRORS
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend
!macro ROLL_BACK name
  Delete "$INSTDIR\${name}.new"
  ${If} ${FileExists} "$INSTDIR\${name}.old"
    Delete "$INSTDIR\${name}"
    Rename "$INSTDIR\${name}.old" "$INSTDIR\${name}"
  ${ElseIf} $Upgrade == 0
    Delete "$INSTDIR\${name}"
  ${EndIf}
!macroend

Function RollBackFiles
  DetailPrint "$(RollingBack)"
  ${If} $ServiceInstalledHere == 1
    nsExec::ExecToLog '"$INSTDIR\VandrelService.exe" uninstall'
    Pop $0
  ${EndIf}
  !insertmacro ROLL_BACK "Perimand.exe"
  !insertmacro ROLL_BACK "Dellomark.exe"
  !insertmacro ROLL_BACK "VandrelService.exe"
  Call RestoreServiceSettings
  ${If} $Upgrade == 0
    SetOutPath $TEMP   ; let go of the folder so it can be removed
    RMDir "$INSTDIR"
  ${EndIf}
FunctionEnd

; Before "config" changes them, the service's settings are exported, so that
; a failed upgrade puts them back with the programs.
Function SaveServiceSettings
  StrCpy $SettingsSaved 0
  ${If} $ServiceRegistered == 0
  ${OrIf} $Mode == keep
    Return
  ${EndIf}
  InitPluginsDir
  nsExec::Exec '"$SYSDIR\reg.exe" export "HKLM\${PARAMETERS_KEY}" "$PLUGINSDIR\Parameters.reg" /y'
  Pop $0
  ${If} $0 == 0
    StrCpy $SettingsSaved 1
  ${Else}
    ClearErrors
    EnumRegValue $0 HKLM "${PARAMETERS_KEY}" 0
    ${If} ${Errors}
      StrCpy $SettingsSaved 2   ; none (or an empty key): none again on a rollback
    ${EndIf}
  ${EndIf}
FunctionEnd

Function RestoreServiceSettings
  ${IfThen} $SettingsSaved == 0 ${|} Return ${|}
  DeleteRegKey HKLM "${PARAMETERS_KEY}"
  ${If} $SettingsSaved == 1
    nsExec::Exec '"$SYSDIR\reg.exe" import "$PLUGINSDIR\Parameters.reg"'
    Pop $0
  ${EndIf}
FunctionEnd

; Gives up after a failure: message, previous state, exit code.
!macro FAIL message code
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  DetailPrint "${message}"
  Call RestartPrevious
  SetErrorLevel ${code}
  Abort
!macroend

; The service's own command line sets it up: "install" when it is not
; registered, "config" when new settings are given, nothing to keep them.
; $0 = VandrelService.exe's exit code, 0 when nothing was to be done.
Function ConfigureService
  ${If} $Mode == nut
    StrCpy $1 "--nut $Nut"
  ${Else}
    StrCpy $1 "--simulate"
  ${EndIf}
  StrCpy $0 0
  ${If} $ServiceRegistered == 0
    nsExec::ExecToLog '"$INSTDIR\VandrelService.exe" install $1'
    Pop $0
    ${IfThen} $0 == 0 ${|} StrCpy $ServiceInstalledHere 1 ${|}
  ${ElseIf} $Mode != keep
    nsExec::ExecToLog '"$INSTDIR\VandrelService.exe" config $1'
    Pop $0
  ${EndIf}
  ; "error" when it could not be started at all
  ${IfThen} $0 == error ${|} StrCpy $0 -1 ${|}
FunctionEnd

Section "-Perimand"
  SetShellVarContext all
  StrCpy $ServiceInstalledHere 0
  ${If} $Mode == keep
  ${AndIf} $ServiceRegistered == 0
    ; Only when the service vanished between the page and now.
    !insertmacro FAIL "$(NoSource)" ${EXIT_BAD_OPTIONS}
  ${EndIf}

  Call StopAgent
  Call StopServiceIfRunning
  ${If} $0 == 0
    !insertmacro FAIL "$(ServiceStopFailed)" ${EXIT_SERVICE}
  ${EndIf}
  Call SaveServiceSettings

  StrCpy $Failed 0
  ClearErrors
  CreateDirectory "$INSTDIR"
  SetOutPath "$INSTDIR"
  !insertmacro NOTE_ERRORS
  SetOverwrite try
  !insertmacro STAGE "Perimand.exe" "${AGENT}"
  !insertmacro STAGE "Dellomark.exe" "${CONFIGURATOR}"
  !insertmacro STAGE "VandrelService.exe" "${SERVICE}"
  !insertmacro SWAP_IN "Perimand.exe"
  !insertmacro SWAP_IN "Dellomark.exe"
  !insertmacro SWAP_IN "VandrelService.exe"
  ${If} $Failed == 1
    Call RollBackFiles
    !insertmacro FAIL "$(WriteFailed)" ${EXIT_WRITE_FAILED}
  ${EndIf}

  Call ConfigureService
  ${If} $0 != 0
    StrCpy $R0 $0
    Call RollBackFiles
    !insertmacro FAIL "$(ServiceInstallFailed)" ${EXIT_SERVICE}
  ${EndIf}
  DetailPrint "$(StartingService)"
  Call ServiceStart
  ${If} $0 != 1
    Call RollBackFiles
    !insertmacro FAIL "$(ServiceStartFailed)" ${EXIT_SERVICE}
  ${EndIf}

  ; The new programs run: the old ones can go.
  Delete "$INSTDIR\Perimand.exe.old"
  Delete "$INSTDIR\Dellomark.exe.old"
  Delete "$INSTDIR\VandrelService.exe.old"

  CopyFiles /SILENT "$EXEPATH" "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Perimand.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Perimand.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  ; (MUI_LANGDLL_SAVELANGUAGE asks IfAbort, which only answers on the
  ; instfiles page's leave function, and skipped the write.)
  WriteRegStr HKLM "${UNINSTALL_KEY}" "${MUI_LANGDLL_REGISTRY_VALUENAME}" $LANGUAGE

  ; In session 0 the agent would run on no one's desktop; the Run value
  ; starts it at the next logon.
  Call InServicesSession
  ${If} $0 == 0
    Call StartAgent
  ${EndIf}
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
SectionEnd

; --- the uninstaller -----------------------------------------------------------

Function un.onInit
  ${un.GetParameters} $R9
  ClearErrors
  ${un.GetOptions} $R9 "/AFTER=" $0
  ${IfNot} ${Errors}
    Call un.RemoveLauncher
  ${EndIf}
  Call un.RequireOnlySetup
  !insertmacro MUI_UNGETLANGUAGE
  Push "$(NotAdminUninstall)"
  Call un.RequireAdmin
FunctionEnd

; Uninstall.exe (process $0) has returned the uninstaller's exit code: once
; it has ended, its file and the then empty folder go. Unless a new setup has
; begun meanwhile, which would be installing there.
Function un.RemoveLauncher
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r0) p.r1'
  ${If} $1 != 0
    System::Call 'kernel32::WaitForSingleObject(p r1, i ${LAUNCHER_WAIT_MS}) i'
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  Call un.RequireOnlySetup
  Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  Quit
FunctionEnd

; $0 = 1 when none of the three programs is in use; otherwise asks to retry
; (the default under /S is to give up), and after Cancel $0 = 0 and $R0 names
; the file. Takes the message to show (which names $R0) on the stack.
Function un.CheckFilesFree
  Exch $R1
  retry:
  !insertmacro CHECK_FREE "un." "Perimand.exe"
  !insertmacro CHECK_FREE "un." "Dellomark.exe"
  !insertmacro CHECK_FREE "un." "VandrelService.exe"
  done:
  Pop $R1
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.StopAgent
  Call un.StopServiceIfRunning
  ${If} $0 == 0
    MessageBox MB_OK|MB_ICONSTOP "$(ServiceStopFailed)" /SD IDOK
    Call un.RestartPrevious
    SetErrorLevel ${EXIT_SERVICE}
    Abort
  ${EndIf}
  Push "$(FileInUseUninstall)"
  Call un.CheckFilesFree
  ${If} $0 == 0
    DetailPrint "$(FileInUseUninstall)"
    Call un.RestartPrevious
    SetErrorLevel ${EXIT_FILE_IN_USE}
    Abort
  ${EndIf}

  ; The service's own "uninstall" stops and deletes it; its settings go with
  ; its key, and the Parameters key is removed as well in case it is not, as
  ; is its Event Log source (left behind when the service was gone already).
  Call un.ServiceState
  ${If} $0 != 0
    nsExec::ExecToLog '"$INSTDIR\VandrelService.exe" uninstall'
    Pop $R0
    Call un.ServiceState
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONSTOP "$(ServiceRemoveFailed)" /SD IDOK
      Call un.RestartPrevious
      SetErrorLevel ${EXIT_SERVICE}
      Abort
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKLM "${PARAMETERS_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"

  Delete "$INSTDIR\Perimand.exe"
  Delete "$INSTDIR\Dellomark.exe"
  Delete "$INSTDIR\VandrelService.exe"
  ; Uninstall.exe waits for us: it and the folder go once it has ended.
  SetOutPath $TEMP

  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
