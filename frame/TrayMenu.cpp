// The tray menu: opening it at the cursor, enabling Agent Start or Agent
// Stop, and the Close command.
#include "frame/MainFrame.h"

#include "framework/CmdUI.h"

void CMainFrame::OnTrayNotify() {
    CMenu popup = trayMenu.GetSubMenu(0);
    if (popup.GetSafeHmenu() == nullptr) return;  // menu resource missing

    POINT cursor{};
    ::GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user
    // clicks elsewhere.
    SetForegroundWindow();
    NestedScope menuLoop(*this);
    // No TPM_NONOTIFY: the menu must send WM_INITMENUPOPUP for the update pass.
    popup.TrackPopupMenu(TPM_RIGHTALIGN | TPM_BOTTOMALIGN, cursor.x, cursor.y, this);
    ShowWindow(SW_MINIMIZE);
    ShowWindow(SW_HIDE);
}

void CMainFrame::OnUpdateAgentStart(CCmdUI* pCmdUI) { pCmdUI->Enable(agentRunning == 0); }

void CMainFrame::OnUpdateAgentStop(CCmdUI* pCmdUI) { pCmdUI->Enable(agentRunning != 0); }

void CMainFrame::OnTrayClose() {
    // The window and this object are gone when SendMessage returns.
    ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}
