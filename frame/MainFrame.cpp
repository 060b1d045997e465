// The agent window's creation and its window procedure: the one place where
// the exit triggers, the timer tick and the tray callback are recognised.
#include "frame/MainFrame.h"

#include "contract/AgentContract.h"
#include "res/resource.h"

namespace {

// Registered messages are looked up on every message: the number is the
// system's, the same in every process that registers the name.
UINT ExitBroadcastMessage() { return ::RegisterWindowMessageA(kExitMessageName); }

// Sent to top-level windows when the shell (and with it the tray) starts
// again; every icon must then be added anew.
UINT TaskbarCreatedMessage() { return ::RegisterWindowMessageA("TaskbarCreated"); }

}  // namespace

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_WM_CLOSE()
    ON_COMMAND(ID_CONFIGURATION, OnConfiguration)
    ON_COMMAND(ID_TRAY_CLOSE, OnTrayClose)
    ON_COMMAND(ID_VERSION_INFORMATION, OnVersionInformation)
    ON_COMMAND(ID_AGENT_START, OnAgentStart)
    ON_COMMAND(ID_AGENT_STOP, OnAgentStop)
    ON_UPDATE_COMMAND_UI(ID_AGENT_START, OnUpdateAgentStart)
    ON_UPDATE_COMMAND_UI(ID_AGENT_STOP, OnUpdateAgentStop)
END_MESSAGE_MAP()

CMainFrame::CMainFrame() = default;

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTA& cs) {
    if (!CFrameWnd::PreCreateWindow(cs)) return FALSE;
    // No cursor, brush or icon: the window is never seen.
    cs.lpszClass = AfxRegisterWndClass(0);
    cs.lpszName = kAgentWindowTitle;
    return cs.lpszClass != nullptr;
}

int CMainFrame::OnCreate(LPCREATESTRUCTA lpCreateStruct) {
    if (CFrameWnd::OnCreate(lpCreateStruct) == -1) return -1;
    // Without menu 131 the tray menu stays empty and a right-click does nothing.
    trayMenu.LoadMenu(IDR_TRAY_MENU);
    SetTimer(kPollTimerId, kPollPeriodMs, nullptr);
    // An agent started elevated (by setup, say) would otherwise hear neither
    // a plain "stop" nor a restarted shell: the system filters registered
    // messages from less privileged senders.
    for (UINT message : {ExitBroadcastMessage(), TaskbarCreatedMessage()}) {
        if (message != 0) ::ChangeWindowMessageFilterEx(m_hWnd, message, MSGFLT_ALLOW, nullptr);
    }
    return 0;
}

void CMainFrame::OnClose() { CFrameWnd::OnClose(); }

void CMainFrame::BeginExit() {
    KillTimer(kPollTimerId);
    UpdateTrayIcon(NIM_DELETE);
    ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
}

void CMainFrame::ForgetTrayIcon() {
    // A new shell has no icon, so the next tick adds it again. The same
    // message also comes when the shell still has it (a display change, say):
    // deleting first keeps that add from being refused tick after tick.
    UpdateTrayIcon(NIM_DELETE);
    iconAdded = 0;
}

CMainFrame::NestedScope::~NestedScope() {
    UINT const held = frame_.exitDeferral_.Leave();
    if (held != 0) ::PostMessageA(frame_.m_hWnd, held, 0, 0);
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    UINT exitBroadcast = ExitBroadcastMessage();
    // 0 means the name could not be registered; it must not make WM_NULL an exit.
    if ((exitBroadcast != 0 && message == exitBroadcast) || message == WM_CLOSE) {
        if (exitDeferral_.Defer(message)) {
            // Close the tray menu, if that is where we are; the trigger comes
            // back through the main loop once the nesting has ended.
            ::EndMenu();
            return 0;
        }
        BeginExit();
    }

    if (message == WM_TIMER && wParam == kPollTimerId) {
        if (PollStatus()) return 1;
    } else if (message == WM_TRAYNOTIFY && lParam == WM_RBUTTONDOWN) {
        OnTrayNotify();
    } else {
        UINT taskbarCreated = TaskbarCreatedMessage();
        if (taskbarCreated != 0 && message == taskbarCreated) ForgetTrayIcon();
    }
    // WM_CLOSE goes on to the frame's own handling, which destroys the
    // window and this object: nothing here may touch members afterwards.
    return CFrameWnd::WindowProc(message, wParam, lParam);
}
