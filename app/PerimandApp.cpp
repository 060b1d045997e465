#include "app/PerimandApp.h"

#include "app/StopCommand.h"
#include "contract/AgentContract.h"
#include "frame/MainFrame.h"
#include "res/resource.h"

namespace {

// The frame's style: never shown, never takes input.
constexpr DWORD kAgentWindowStyle = WS_POPUP | WS_DISABLED;

}  // namespace

BEGIN_MESSAGE_MAP(CPerimandApp, CWinApp)
END_MESSAGE_MAP()

CPerimandApp theApp;

BOOL CPerimandApp::InitInstance() {
    SetRegistryKey("Local AppWizard-Generated Applications");

    if (IsStopCommand(m_lpCmdLine)) {
        UINT exitBroadcast = ::RegisterWindowMessageA(kExitMessageName);
        if (exitBroadcast != 0) ::PostMessageA(HWND_BROADCAST, exitBroadcast, 0, 0);
        return FALSE;
    }

    // Any top-level window with this title counts as a running agent.
    if (::FindWindowA(nullptr, kAgentWindowTitle) != nullptr) return FALSE;

    auto* frame = new CMainFrame;
    m_pMainWnd = frame;
    if (!frame->LoadFrame(IDR_MAINFRAME, kAgentWindowStyle, nullptr)) {
        // The frame has deleted itself; there is no window to show or hide.
        m_pMainWnd = nullptr;
        return FALSE;
    }
    frame->ShowWindow(SW_MINIMIZE);
    frame->ShowWindow(SW_HIDE);
    return TRUE;
}
