; The UPS page: where Vandrel Service reads the UPS from, a NUT server
; (ups@host[:port]) or the simulation, or on an upgrade the settings it
; already has. Sets $Mode ("nut", "simulate" or "keep") and $Nut.
; ValidateNutAddress is also what /NUT= goes through.

; What a UPS address is, the service decides ("VandrelService.exe check"),
; so setup never takes what the service would refuse. Takes the text on the
; stack; $0 = 1 and $Nut = the address as the service writes it when it is
; valid, else 0.
Function ValidateNutAddress
  Exch $R1
  Push $R2
  InitPluginsDir
  ${IfNot} ${FileExists} "$PLUGINSDIR\VandrelService.exe"
    File "/oname=$PLUGINSDIR\VandrelService.exe" "${SERVICE}"
  ${EndIf}
  nsExec::ExecToStack '"$PLUGINSDIR\VandrelService.exe" check --nut "$R1"'
  Pop $0
  Pop $R2   ; its one line: the address as stored, or why not
  ${If} $0 == 0
    StrCpy $0 1
    ${TrimNewLines} $R2 $Nut
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $R2
  Pop $R1
FunctionEnd

Var UpsDialog
Var UpsNutRadio
Var UpsNutText
Var UpsSimulateRadio
Var UpsKeepRadio

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
  Call UpsPageSync
  nsDialogs::Show
FunctionEnd

; The address box is only for the NUT choice.
Function UpsPageSync
  ${NSD_GetState} $UpsNutRadio $0
  ${If} $0 == ${BST_CHECKED}
    EnableWindow $UpsNutText 1
  ${Else}
    EnableWindow $UpsNutText 0
  ${EndIf}
FunctionEnd

Function UpsPageLeave
  ${NSD_GetText} $UpsNutText $Nut
  ${NSD_GetState} $UpsSimulateRadio $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Mode simulate
    Return
  ${EndIf}
  ${If} $UpsKeepRadio != ""
    ${NSD_GetState} $UpsKeepRadio $0
    ${If} $0 == ${BST_CHECKED}
      StrCpy $Mode keep
      Return
    ${EndIf}
  ${EndIf}
  StrCpy $Mode nut
  Push $Nut
  Call ValidateNutAddress
  ${If} $0 != 1
    StrCpy $R0 $Nut
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(BadAddress)"
    SendMessage $UpsNutText ${EM_SETSEL} 0 -1
    System::Call 'user32::SetFocus(p $UpsNutText)'
    Abort   ; stay on the page
  ${EndIf}
FunctionEnd
