#include "framework/DataExchange.h"

#include "framework/Wnd.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    HWND control = nullptr;
    pDX->m_pDlgWnd->GetDlgItem(nIDC, &control);
    if (control == nullptr || rControl.m_hWnd == control) return;
    // Still bound from an earlier showing of the dialog, to a control that
    // went with that window.
    rControl.Detach();
    rControl.Attach(control);
}
