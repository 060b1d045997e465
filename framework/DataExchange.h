// Moves data between a dialog's controls and its members (DoDataExchange).
#pragma once

#include <windows.h>

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    CWnd* m_pDlgWnd;
};

// Binds `rControl` to the dialog's control `nIDC`, afresh each time the dialog
// is shown.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
