#include "framework/Dialog.h"

#include "framework/WinApp.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (owner == nullptr) {
        CWnd* main = AfxGetMainWnd();
        owner = main != nullptr ? main->GetSafeHwnd() : nullptr;
    }

    HINSTANCE module = AfxGetResourceHandle();
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(m_nIDTemplate), RT_DIALOG);
    HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    auto* dialogTemplate =
        static_cast<LPCDLGTEMPLATEA>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (dialogTemplate == nullptr) return -1;

    // The system would re-enable the owner at the end whatever its state
    // before, so the loop here does the disabling and gives back exactly
    // the state it found.
    bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);

    // EndDialog may come as early as OnInitDialog: it clears the flag, and
    // the loop is then never entered.
    m_nModalResult = IDABORT;
    m_bContinueModal = true;
    HWND dialog = ::CreateDialogIndirectParamA(AfxGetInstanceHandle(), dialogTemplate, owner,
                                               &AfxDlgProc, reinterpret_cast<LPARAM>(this));
    if (dialog == nullptr || m_hWnd != dialog) {
        m_nModalResult = -1;
    } else if (m_bContinueModal) {
        ::ShowWindow(dialog, SW_SHOWNORMAL);
        RunModalLoop();
    }
    m_bContinueModal = false;

    if (m_hWnd != nullptr) ::ShowWindow(m_hWnd, SW_HIDE);
    if (ownerWasEnabled && ::IsWindow(owner)) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult) { EndModalLoop(nResult); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// The dialog manager does the default processing of whatever the dialog
// procedure leaves unhandled.
LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM) { return 0; }

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_INITDIALOG) {
        *pResult = OnInitDialog();
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, pResult);
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
        if (message == WM_INITDIALOG && lParam != 0) {
            // As for windows: the dialog being made wins over a stale entry.
            wnd = reinterpret_cast<CDialog*>(lParam);
            wnd->Bind(hWnd);
        }
        if (wnd == nullptr) return FALSE;
        LRESULT result = 0;
        if (!wnd->OnWndMsg(message, wParam, lParam, &result)) return FALSE;
        // `wnd` may be gone here.
        if (message == WM_INITDIALOG) return result;
        if (message == WM_NCDESTROY) return FALSE;  // the dialog manager frees its own data
        ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    } catch (...) {
        AfxTraceException("a dialog procedure");
        return FALSE;
    }
}
