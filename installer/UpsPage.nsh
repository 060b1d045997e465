; The UPS page: where Vandrel Service reads the UPS from, a NUT server
; (ups@host[:port]) or the simulation, or on an upgrade the settings it
; already has. Sets $Mode ("nut", "simulate" or "keep") and $Nut, and with
; the shutdown box $Shutdown = 1, $Login and $Password.
; ValidateNutAddress and ValidateCommandWord are also what /NUT= and /LOGIN=
; go through.

; What the service takes, the service decides: "VandrelService.exe check"
; with the options on the stack, run from a copy in $PLUGINSDIR, so setup
; never takes what the service would refuse and installs nothing to ask.
; $0 = its exit code (0: taken), $1 = its one line.
Function ServiceCheck
  Exch $R1
  Call ExtractServiceProgram
  nsExec::ExecToStack '"$PLUGINSDIR\VandrelService.exe" check $R1'
  Pop $0
  Pop $1
  Pop $R1
FunctionEnd

; A UPS address: takes the text on the stack; $0 = 1 and $Nut = the address
; as the service writes it when it is valid, else 0.
Function ValidateNutAddress
  Exch $R1
  Push $1
  Push '--nut "$R1"'
  Call ServiceCheck
  ${If} $0 == 0
    StrCpy $0 1
    ${TrimNewLines} $1 $Nut   ; the address as stored
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $1
  Pop $R1
FunctionEnd

; A word of ConfigureProtection's command (the user, a threshold) goes
; through "cmd /c" with the password file, so a quote or a % in it would
; change that command: refused, as is an empty one. Takes the word on the
; stack; $0 = 1 when it can be used.
Function ValidateCommandWord
  Exch $R1
  Push $R2
  StrCpy $0 0
  ${If} $R1 != ""
    ${StrFilter} $R1 "" "" '"%' $R2   ; $R2 = $R1 without them
    ${IfThen} $R2 == $R1 ${|} StrCpy $0 1 ${|}
  ${EndIf}
  Pop $R2
  Pop $R1
FunctionEnd

Var UpsDialog
Var UpsNutRadio
Var UpsNutText
Var UpsSimulateRadio
Var UpsKeepRadio
Var UpsShutdownBox
Var UpsLoginText
Var UpsPasswordText

Function UpsPageShow
  !insertmacro MUI_HEADER_TEXT "$(UpsPageTitle)" "$(UpsPageSubtitle)"
  nsDialogs::Create 1018
  Pop $UpsDialog
  ${IfThen} $UpsDialog == error ${|} Abort ${|}

  ; The radio buttons first, so they form one group whatever lies between them.
  ${NSD_CreateFirstRadioButton} 0 0 100% 12u "$(UpsPageNut)"
  Pop $UpsNutRadio
  ${NSD_CreateRadioButton} 0 58u 100% 12u "$(UpsPageSimulate)"
  Pop $UpsSimulateRadio
  StrCpy $UpsKeepRadio ""
  ${If} $ServiceRegistered == 1
    ${NSD_CreateRadioButton} 0 76u 100% 12u "$(UpsPageKeep)"
    Pop $UpsKeepRadio
  ${EndIf}
  ${NSD_CreateText} 12u 16u 200u 12u "$Nut"
  Pop $UpsNutText
  ${NSD_CreateLabel} 12u 32u 100% 20u "$(UpsPageHint)"
  Pop $0
  ${NSD_CreateCheckbox} 0 94u 100% 12u "$(UpsPageShutdown)"
  Pop $UpsShutdownBox
  ${NSD_CreateLabel} 12u 112u 50u 10u "$(UpsPageLogin)"
  Pop $0
  ${NSD_CreateText} 62u 110u 70u 12u "$Login"
  Pop $UpsLoginText
  ${NSD_CreateLabel} 142u 112u 50u 10u "$(UpsPagePassword)"
  Pop $0
  ${NSD_CreatePassword} 192u 110u 80u 12u "$Password"
  Pop $UpsPasswordText
  ${If} $Shutdown == 1
    ${NSD_Check} $UpsShutdownBox
  ${EndIf}

  ${If} $Mode == ""
    ${If} $ServiceRegistered == 1
      StrCpy $Mode keep
    ${Else}
      StrCpy $Mode nut
    ${EndIf}
  ${EndIf}
  ${If} $Mode == keep
  ${AndIf} $UpsKeepRadio != ""
    ${NSD_Check} $UpsKeepRadio
  ${ElseIf} $Mode == simulate
    ${NSD_Check} $UpsSimulateRadio
  ${Else}
    ${NSD_Check} $UpsNutRadio
  ${EndIf}
  ${NSD_OnClick} $UpsNutRadio UpsPageSync
  ${NSD_OnClick} $UpsSimulateRadio UpsPageSync
  ${If} $UpsKeepRadio != ""
    ${NSD_OnClick} $UpsKeepRadio UpsPageSync
  ${EndIf}
  ${NSD_OnClick} $UpsShutdownBox UpsPageSync
  Call UpsPageSync
  nsDialogs::Show
FunctionEnd

; $0 = 1 when the page's choice reads a NUT server: the NUT radio, or
; keeping a service that reads one. Protection logs in to that server.
Function UpsPageReadsNut
  ${NSD_GetState} $UpsNutRadio $0
  ${If} $0 != ${BST_CHECKED}
  ${AndIf} $UpsKeepRadio != ""
  ${AndIf} $KeptSourceIsNut == 1
    ${NSD_GetState} $UpsKeepRadio $0
  ${EndIf}
  ${IfThen} $0 != ${BST_CHECKED} ${|} StrCpy $0 0 ${|}
FunctionEnd

; The address box is only for the NUT choice; the shutdown box only with a
; NUT server, and the user and password only when it is checked.
Function UpsPageSync
  ${NSD_GetState} $UpsNutRadio $0
  ${If} $0 == ${BST_CHECKED}
    EnableWindow $UpsNutText 1
  ${Else}
    EnableWindow $UpsNutText 0
  ${EndIf}
  Call UpsPageReadsNut
  EnableWindow $UpsShutdownBox $0
  ${If} $0 == 1
    ${NSD_GetState} $UpsShutdownBox $0
    ${IfThen} $0 != ${BST_CHECKED} ${|} StrCpy $0 0 ${|}
  ${EndIf}
  EnableWindow $UpsLoginText $0
  EnableWindow $UpsPasswordText $0
FunctionEnd

Function UpsPageLeave
  ${NSD_GetText} $UpsNutText $Nut
  StrCpy $Mode nut
  ${NSD_GetState} $UpsSimulateRadio $0
  ${IfThen} $0 == ${BST_CHECKED} ${|} StrCpy $Mode simulate ${|}
  ${If} $UpsKeepRadio != ""
    ${NSD_GetState} $UpsKeepRadio $0
    ${IfThen} $0 == ${BST_CHECKED} ${|} StrCpy $Mode keep ${|}
  ${EndIf}
  ${If} $Mode == nut
    Push $Nut
    Call ValidateNutAddress
    ${If} $0 != 1
      StrCpy $R0 $Nut
      MessageBox MB_OK|MB_ICONEXCLAMATION "$(BadAddress)"
      SendMessage $UpsNutText ${EM_SETSEL} 0 -1
      System::Call 'user32::SetFocus(p $UpsNutText)'
      Abort   ; stay on the page
    ${EndIf}
  ${EndIf}

  StrCpy $Shutdown 0
  Call UpsPageReadsNut
  ${If} $0 == 1
    ${NSD_GetState} $UpsShutdownBox $0
    ${IfThen} $0 == ${BST_CHECKED} ${|} StrCpy $Shutdown 1 ${|}
  ${EndIf}
  ${IfThen} $Shutdown == 0 ${|} Return ${|}
  ${NSD_GetText} $UpsLoginText $Login
  ${NSD_GetText} $UpsPasswordText $Password
  Push $Login
  Call ValidateCommandWord
  ${If} $0 != 1
  ${OrIf} $Password == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(NeedLogin)"
    System::Call 'user32::SetFocus(p $UpsLoginText)'
    Abort
  ${EndIf}
FunctionEnd
