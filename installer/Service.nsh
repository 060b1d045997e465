; Vandrel Service through the Service Control Manager, by the API rather than
; sc.exe or net.exe: their output is translated, their exit codes are not
; documented, and "net stop" gives up on a slow stop where we want a bound.
;
; ${un}ServiceState   $0 = the service's state (1 stopped, 2 start pending,
;                     3 stop pending, 4 running...), 0 when it is not registered
; ${un}ServiceStop    stops it and waits until it has (see ServiceWait);
;                     $0 = 1 when it is stopped or not registered, else 0
; ${un}ServiceStart   starts it and waits until it runs (see ServiceWait);
;                     $0 = 1 when it runs, else 0

!define SC_MANAGER_CONNECT 0x0001
!define SERVICE_QUERY_STATUS 0x0004
!define SERVICE_START 0x0010
!define SERVICE_STOP 0x0020
!define SERVICE_CONTROL_STOP 1
!define SERVICE_STOPPED 1
!define SERVICE_RUNNING 4
!define SERVICE_START_PENDING 2
!define /math SERVICE_ACCESS_STOP ${SERVICE_QUERY_STATUS} | ${SERVICE_STOP}
!define /math SERVICE_ACCESS_START ${SERVICE_QUERY_STATUS} | ${SERVICE_START}

!macro SERVICE_FUNCTIONS un

; $1 = an open service handle with `access`, or 0; $2 = the manager's handle.
Function ${un}ServiceOpen
  Exch $3   ; access
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p.r2'
  StrCpy $1 0
  ${If} $2 != 0
    System::Call 'advapi32::OpenServiceW(p r2, w "${SERVICE_NAME}", i r3) p.r1'
  ${EndIf}
  Pop $3
FunctionEnd

Function ${un}ServiceClose
  ${If} $1 != 0
    System::Call 'advapi32::CloseServiceHandle(p r1)'
  ${EndIf}
  ${If} $2 != 0
    System::Call 'advapi32::CloseServiceHandle(p r2)'
  ${EndIf}
FunctionEnd

; $0 = the current state of the open service $1, 0 when it cannot be read.
Function ${un}ServiceQuery
  Push $3
  Push $4
  System::Call '*(&i28) p.r3'   ; SERVICE_STATUS
  System::Call 'advapi32::QueryServiceStatus(p r1, p r3) i.r4'
  StrCpy $0 0
  ${If} $4 != 0
    System::Call '*$3(i, i.r0)'
  ${EndIf}
  System::Free $3
  Pop $4
  Pop $3
FunctionEnd

Function ${un}ServiceState
  Push $1
  Push $2
  Push ${SERVICE_QUERY_STATUS}
  Call ${un}ServiceOpen
  StrCpy $0 0
  ${If} $1 != 0
    Call ${un}ServiceQuery
  ${EndIf}
  Call ${un}ServiceClose
  Pop $2
  Pop $1
FunctionEnd

; Waits until the open service $1 is in state $0 (wanted = 1) or has left
; it (wanted = 0), by the rule every companion follows (common/ServiceControl.h):
; a query every COMPANION_POLL_INTERVAL_MS, COMPANION_WAIT_CAP_MS in all, and
; no longer once neither the state nor the checkpoint has moved for twice the
; service's wait hint or COMPANION_STALL_FLOOR_MS, whichever is longer.
; $0 = the state it is in then, 0 when it cannot be read.
Function ${un}ServiceWait
  Exch $4   ; wanted
  Push $3   ; the state waited on
  Push $5   ; ms waited in all
  Push $6   ; ms since the state or the checkpoint last moved
  Push $7   ; SERVICE_STATUS
  Push $8   ; its checkpoint
  Push $9   ; its wait hint, then the stall limit
  Push $R0  ; the state and checkpoint last seen
  StrCpy $3 $0
  StrCpy $5 0
  StrCpy $6 0
  StrCpy $R0 ""
  System::Call '*(&i28) p.r7'
  ${Do}
    System::Call 'advapi32::QueryServiceStatus(p r1, p r7) i.r0'
    ${IfThen} $0 == 0 ${|} ${Break} ${|}
    System::Call '*$7(i, i.r0, i, i, i, i.r8, i.r9)'
    ${If} $0 == $3
      ${IfThen} $4 == 1 ${|} ${Break} ${|}
    ${Else}
      ${IfThen} $4 == 0 ${|} ${Break} ${|}
    ${EndIf}
    ${If} "$0.$8" != $R0
      StrCpy $R0 "$0.$8"
      StrCpy $6 0
    ${EndIf}
    IntOp $9 $9 * 2
    ${IfThen} $9 < ${COMPANION_STALL_FLOOR_MS} ${|} StrCpy $9 ${COMPANION_STALL_FLOOR_MS} ${|}
    ${IfThen} $6 >= $9 ${|} ${Break} ${|}
    ${IfThen} $5 >= ${COMPANION_WAIT_CAP_MS} ${|} ${Break} ${|}
    Sleep ${COMPANION_POLL_INTERVAL_MS}
    IntOp $5 $5 + ${COMPANION_POLL_INTERVAL_MS}
    IntOp $6 $6 + ${COMPANION_POLL_INTERVAL_MS}
  ${Loop}
  System::Free $7
  Pop $R0
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $3
  Pop $4
FunctionEnd

Function ${un}ServiceStop
  Push $1
  Push $2
  Push $3
  Push ${SERVICE_ACCESS_STOP}
  Call ${un}ServiceOpen
  ${If} $1 == 0
    StrCpy $0 1   ; not registered: nothing to stop
  ${Else}
    Call ${un}ServiceQuery
    ${If} $0 != ${SERVICE_STOPPED}
      System::Call '*(&i28) p.r3'
      ; Fails harmlessly when a stop is already pending.
      System::Call 'advapi32::ControlService(p r1, i ${SERVICE_CONTROL_STOP}, p r3) i'
      System::Free $3
      StrCpy $0 ${SERVICE_STOPPED}
      Push 1
      Call ${un}ServiceWait
    ${EndIf}
    ${If} $0 == ${SERVICE_STOPPED}
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
  Call ${un}ServiceClose
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

Function ${un}ServiceStart
  Push $1
  Push $2
  Push ${SERVICE_ACCESS_START}
  Call ${un}ServiceOpen
  StrCpy $0 0
  ${If} $1 != 0
    Call ${un}ServiceQuery
    ${If} $0 == ${SERVICE_STOPPED}
      ; Returns once the service's process has reported in: START_PENDING or
      ; RUNNING then, or it failed and we need not wait.
      System::Call 'advapi32::StartServiceW(p r1, i 0, p 0) i.r0'
      ${If} $0 != 0
        Call ${un}ServiceQuery
      ${EndIf}
    ${EndIf}
    ${If} $0 == ${SERVICE_START_PENDING}
      Push 0
      Call ${un}ServiceWait
    ${EndIf}
    ${If} $0 == ${SERVICE_RUNNING}
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
  Call ${un}ServiceClose
  Pop $2
  Pop $1
FunctionEnd

!macroend
