; Vandrel Service as setup sees it. Whether it is registered, and in which
; state, is read from the Service Control Manager by the API: setup decides
; by it whether there is a service to stop, keep or remove. Stopping and
; starting it are the service's own commands, which wait by the rule every
; program of ours waits by (win32/ServiceControl.h).
;
; ${un}ServiceState        $0 = the service's state (1 stopped, 2 start pending,
;                          3 stop pending, 4 running...), 0 when it is not registered
; ${un}RunServiceCommand   runs "VandrelService.exe <the word on the stack>"
;                          ("stop", "start"); $0 = its exit code, -1 when it
;                          could not be run
; ExtractServiceProgram    puts setup's own copy in $PLUGINSDIR (setup only)

!define SC_MANAGER_CONNECT 0x0001
!define SERVICE_QUERY_STATUS 0x0004
!define SERVICE_STOPPED 1

; Setup's copy of the program it installs: what it asks ("check") and what
; stops and starts the service before its files are in place, over an
; installed copy too old to know those commands, or with none installed yet.
Function ExtractServiceProgram
  InitPluginsDir
  ${IfNot} ${FileExists} "$PLUGINSDIR\VandrelService.exe"
    File "/oname=$PLUGINSDIR\VandrelService.exe" "${SERVICE}"
  ${EndIf}
FunctionEnd

!macro SERVICE_FUNCTIONS un

Function ${un}ServiceState
  Push $1   ; the manager
  Push $2   ; the service
  Push $3   ; SERVICE_STATUS
  StrCpy $0 0
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p.r1'
  ${If} $1 != 0
    System::Call 'advapi32::OpenServiceW(p r1, w "${SERVICE_NAME}", i ${SERVICE_QUERY_STATUS}) p.r2'
    ${If} $2 != 0
      System::Call '*(&i28) p.r3'
      System::Call 'advapi32::QueryServiceStatus(p r2, p r3) i.r0'
      ${If} $0 != 0
        System::Call '*$3(i, i.r0)'
      ${EndIf}
      System::Free $3
      System::Call 'advapi32::CloseServiceHandle(p r2)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r1)'
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; The uninstaller runs the installed copy, which is still there then.
Function ${un}RunServiceCommand
  Exch $1   ; the command
  !if "${un}" == ""
    Call ExtractServiceProgram
    nsExec::ExecToLog '"$PLUGINSDIR\VandrelService.exe" $1'
  !else
    nsExec::ExecToLog '"$INSTDIR\VandrelService.exe" $1'
  !endif
  Pop $0
  ${IfThen} $0 == error ${|} StrCpy $0 -1 ${|}
  Pop $1
FunctionEnd

!macroend
