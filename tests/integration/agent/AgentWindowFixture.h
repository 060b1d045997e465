// A real agent window in the test process, created as the agent creates it,
// with the shell's notification-area call pointed at a recorder, and the
// status block double for whatever state a test needs.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/MainFrame.h"
#include "frame/TrayIndicator.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "win32/Seam.h"

namespace status_test {

// One Shell_NotifyIconA call as the agent made it.
struct TrayCall {
    DWORD action = 0;
    DWORD cbSize = 0;
    HWND window = nullptr;
    UINT id = 0;
    UINT flags = 0;
    UINT callbackMessage = 0;
    HICON icon = nullptr;
    std::string tip;
};

// Stands in for Shell_NotifyIconA.
class TrayRecorder final : public TrayShellApi {
public:
    std::vector<TrayCall> calls;
    BOOL answer = TRUE;                // returned by every call
    std::function<void()> duringCall;  // runs inside each call when set
    BOOL NotifyIcon(DWORD action, NOTIFYICONDATAA* data) override;
};

// The icon a resource id of this executable loads to (icons are shared, so
// the handle the agent passes is this one).
HICON OwnIcon(UINT iconId);

// The agent window, counting the timer ticks that reach the framework's
// dispatch after the agent's own window procedure.
class CountingFrame : public CMainFrame {
public:
    int ticksPassedOn = 0;

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
        if (message == WM_TIMER) ++ticksPassedOn;
        return CMainFrame::OnWndMsg(message, wParam, lParam, pResult);
    }
};

// The tooltip for one or two of the agent's strings, from the resources
// linked into this test, as the tray shows them.
std::string Tip(UINT first, UINT second = 0);

class AgentWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // One timer tick through the window procedure; its result.
    LRESULT Tick();
    void Ticks(int count);

    // Sends the registered message of that name to the agent window.
    LRESULT SendRegistered(char const* name);

    bool WindowAlive() const { return ::IsWindow(window_) != FALSE; }

    // Which of Agent Start and Agent Stop the tray menu would offer now.
    bool StartOffered() const;

    perimand_test::StatusBlockDouble block_;
    TrayRecorder tray_;
    CountingFrame* frame_ = nullptr;  // deleted by the framework with its window
    HWND window_ = nullptr;

private:
    ScopedSeam<TrayShellApi> traySwap_{tray_};
};

}  // namespace status_test
