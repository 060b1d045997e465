// The Version Information command and its one-at-a-time guard.
#include "dialogs/AboutDlg.h"
#include "frame/MainFrame.h"

namespace {

// Gives the guard back however the dialog ends.
struct AboutAllowedAgain {
    AboutAllowedAgain() = default;
    AboutAllowedAgain(AboutAllowedAgain const&) = delete;
    AboutAllowedAgain& operator=(AboutAllowedAgain const&) = delete;
    ~AboutAllowedAgain() { aboutAllowed = 1; }
};

// Knows nothing of the frame on purpose: Close chosen from the tray menu
// while the dialog is open destroys and deletes the frame inside this
// modal loop.
void RunVersionDialog() {
    CAboutDlg dialog;
    AboutAllowedAgain guard;  // declared last: the flag returns before the dialog object goes
    dialog.DoModal();
}

}  // namespace

void CMainFrame::OnVersionInformation() {
    if (aboutAllowed == 0) return;  // one is open already
    aboutAllowed = 0;
    SetForegroundWindow();
    RunVersionDialog();
    // `this` may have been deleted by now: nothing may follow.
}
