// Finding and watching top-level windows of other processes.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/rigs/e2e/Handles.h"

namespace e2e {

// Empty fields match anything; the title and class compare exactly (with
// case), unlike FindWindow, so a test can tell "Orvastel" from "ORVASTEL".
struct WindowQuery {
    std::string title;
    std::string className;
    DWORD processId = 0;
};

std::vector<HWND> FindTopLevelWindows(WindowQuery const& query);

// The first matching window, once one exists; nullptr after `timeoutMs`.
HWND WaitForWindow(WindowQuery const& query, DWORD timeoutMs);

// True once `window` no longer exists.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

std::string WindowTitle(HWND window);
std::string WindowClassName(HWND window);
DWORD WindowProcessId(HWND window);

// The message number the system gives the registered name "Exit".
UINT ExitMessage();

// SendMessageTimeout that keeps a hung receiver from hanging the test;
// nothing when the message could not be delivered in time.
std::optional<LRESULT> SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       DWORD timeoutMs);

// A hidden top-level window owned by the test, of a class of its own;
// destroyed (and its class unregistered) with the object.
class TestWindow {
public:
    explicit TestWindow(std::string const& title,
                        std::string const& className = "PerimandE2ETestWindow");
    ~TestWindow();
    TestWindow(TestWindow const&) = delete;
    TestWindow& operator=(TestWindow const&) = delete;

    HWND get() const { return window_.get(); }

private:
    std::string className_;
    UniqueWindow window_;
};

// Sees every window a process creates, from outside, through an
// out-of-context event hook. Start the process suspended, attach the watch,
// then resume it, so nothing is missed. Events arrive while this thread
// pumps messages (every wait in this library does).
class WindowCreationWatch {
public:
    explicit WindowCreationWatch(DWORD processId);
    ~WindowCreationWatch();
    WindowCreationWatch(WindowCreationWatch const&) = delete;
    WindowCreationWatch& operator=(WindowCreationWatch const&) = delete;

    bool Attached() const { return static_cast<bool>(hook_); }
    // Class names of the windows created so far ("" when a window was gone
    // before its event was delivered).
    std::vector<std::string> const& Created() const { return created_; }

private:
    static void CALLBACK OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                                 LONG child, DWORD thread, DWORD time);
    static std::map<HWINEVENTHOOK, WindowCreationWatch*>& Watches();

    std::vector<std::string> created_;
    UniqueWinEventHook hook_;
};

}  // namespace e2e
