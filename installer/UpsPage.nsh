; The UPS page: where Vandrel Service reads the UPS from, a NUT server
; (ups@host[:port]) or the simulation, or on an upgrade the settings it
; already has. Sets $Mode ("nut", "simulate" or "keep") and $Nut.
; ValidateNutAddress is also what /NUT= goes through.

!define NUT_NAME_CHARS "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_."
!define NUT_MAX_NAME 64     ; the service's own bounds
!define NUT_MAX_HOST 255

; $1 = 1 when the one character $R3 is in the set on the stack, else 0.
Function CharIn
  Exch $R7   ; set
  Push $R8
  Push $R9
  StrCpy $1 0
  StrCpy $R8 0
  ${Do}
    StrCpy $R9 $R7 1 $R8
    ${IfThen} $R9 == "" ${|} ${Break} ${|}
    ; StrCmpS: the sets hold both cases, but "@" and ":" must not pass for letters.
    StrCmpS $R9 $R3 0 +3
      StrCpy $1 1
      ${Break}
    IntOp $R8 $R8 + 1
  ${Loop}
  Pop $R9
  Pop $R8
  Pop $R7
FunctionEnd

; "ups@host" or "ups@host:port": the UPS's name and the host each one or
; more of letters, digits, "-", "_" and "."; the port 1-65535.
; Takes the text on the stack; $0 = 1 when it is valid, else 0.
Function ValidateNutAddress
  Exch $R1   ; the text
  Push $R2   ; index
  Push $R3   ; character
  Push $R4   ; part: 0 name, 1 host, 2 port
  Push $R5   ; length of the part so far
  Push $R6   ; the port's digits
  Push $1
  StrCpy $0 1
  StrCpy $R2 0
  StrCpy $R4 0
  StrCpy $R5 0
  StrCpy $R6 ""
  ${Do}
    StrCpy $R3 $R1 1 $R2
    ${IfThen} $R3 == "" ${|} ${Break} ${|}
    ${If} $R3 == "@"
      ${If} $R4 != 0
      ${OrIf} $R5 == 0
        StrCpy $0 0
      ${EndIf}
      StrCpy $R4 1
      StrCpy $R5 0
    ${ElseIf} $R3 == ":"
      ${If} $R4 != 1
      ${OrIf} $R5 == 0
        StrCpy $0 0
      ${EndIf}
      StrCpy $R4 2
      StrCpy $R5 0
    ${Else}
      ${If} $R4 == 2
        Push "0123456789"
        StrCpy $R6 "$R6$R3"
      ${Else}
        Push "${NUT_NAME_CHARS}"
      ${EndIf}
      Call CharIn
      ${IfThen} $1 == 0 ${|} StrCpy $0 0 ${|}
      IntOp $R5 $R5 + 1
      ${If} $R4 == 0
        ${IfThen} $R5 > ${NUT_MAX_NAME} ${|} StrCpy $0 0 ${|}
      ${ElseIf} $R4 == 1
        ${IfThen} $R5 > ${NUT_MAX_HOST} ${|} StrCpy $0 0 ${|}
      ${Else}
        ${IfThen} $R5 > 5 ${|} StrCpy $0 0 ${|}
      ${EndIf}
    ${EndIf}
    ${IfThen} $0 == 0 ${|} ${Break} ${|}
    IntOp $R2 $R2 + 1
  ${Loop}
  ${If} $0 == 1
    ${If} $R4 == 0          ; no "@"
    ${OrIf} $R5 == 0        ; nothing after "@" or ":"
      StrCpy $0 0
    ${ElseIf} $R4 == 2
      ${If} $R6 < 1
      ${OrIf} $R6 > 65535
        StrCpy $0 0
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
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
