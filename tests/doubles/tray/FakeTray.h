// A stand-in for the taskbar's notification area, for end-to-end tests.
//
// Wine's Shell_NotifyIcon looks for the first top-level window of class
// "Shell_TrayWnd" and sends it the request as WM_COPYDATA. A FakeTray is such
// a window, owned by a thread of its own that does nothing but pump its
// messages, so a program under test can notify it while the test thread
// waits. It records every request and answers as the test chooses.
//
// Like a real shell it holds icons: it refuses NIM_MODIFY and NIM_DELETE of
// an icon it does not hold and a second NIM_ADD of one it holds.
//
// Create it before the program under test starts: the first top-level window
// of the class wins, and Wine looks it up on every call.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "win32/UniqueHandle.h"

namespace fake_tray {

// One Shell_NotifyIcon request as the tray saw it.
struct Notification {
    DWORD action = 0;           // NIM_ADD, NIM_MODIFY, NIM_DELETE...
    DWORD window = 0;           // the notifying window: Wine sends the low 32 bits
    UINT id = 0;
    UINT flags = 0;
    UINT callbackMessage = 0;   // only when NIF_MESSAGE was given
    std::wstring tip;           // only when NIF_TIP was given; Wine converts A to UTF-16
    UINT iconWidth = 0;         // 0 when no icon came along
    UINT iconHeight = 0;
    UINT iconBitsPerPixel = 0;
    size_t iconBytes = 0;       // mask and colour bits together
    std::uint64_t iconHash = 0; // of those bits; 0 when no icon came along
    bool accepted = true;       // what the tray answered
};

// The low 32 bits of `window`, as a notification carries it.
DWORD WindowId(HWND window);

class FakeTray {
public:
    // Starts the tray's thread and waits until its window exists. Throws
    // std::runtime_error when the window cannot be created.
    FakeTray();
    ~FakeTray();
    FakeTray(FakeTray const&) = delete;
    FakeTray& operator=(FakeTray const&) = delete;

    HWND Window() const { return window_; }

    // The next `count` requests with this action are refused: Shell_NotifyIcon
    // then fails in the program that sent them. Requests are still recorded.
    void RefuseNext(DWORD action, unsigned count = 1);

    // The next `count` adds are carried out but answered FALSE, as a shell
    // that is busy (at logon, say) times out on an add it still performs.
    void TimeOutNextAdd(unsigned count = 1);

    // When false, requests are answered but not kept (only counted); for
    // long runs such as benchmarks.
    void KeepRecords(bool keep);

    size_t Count() const;
    std::vector<Notification> Notifications() const;

    // The first notification at index `from` or later for which `match`
    // holds, with its index; nothing when none arrived within `timeoutMs`.
    // The calling thread's messages are dispatched meanwhile.
    struct Found {
        size_t index;
        Notification notification;
    };
    std::optional<Found> WaitFor(std::function<bool(Notification const&)> const& match,
                                 size_t from, DWORD timeoutMs) const;

    // The notification at index `index`, once it has arrived.
    std::optional<Notification> WaitForIndex(size_t index, DWORD timeoutMs) const;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run();
    BOOL OnCopyData(COPYDATASTRUCT const& data);

    std::thread thread_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    bool startFailed_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool started_ = false;
    std::vector<Notification> records_;
    size_t count_ = 0;
    bool keepRecords_ = true;
    struct Refusal {
        DWORD action;
        unsigned count;
    };
    std::vector<Refusal> refusals_;
    unsigned addTimeouts_ = 0;
    std::set<std::pair<DWORD, UINT>> held_;  // (window, id) of the icons shown
    UniqueKernelHandle arrived_;  // auto-reset: set on every request, for waiters that pump
};

// Hash of an icon's bits, taken exactly as Wine's Shell_NotifyIcon sends
// them (mask bits, then colour bits), so a test can tell which icon a
// notification carried. 0 when the icon has no bits.
std::uint64_t IconBitsHash(HICON icon);

// The hash of icon `iconId` of the executable or DLL at `modulePath`
// (Windows path), loaded as LoadIconA loads it in that program: default
// size, from the module's resources. 0 when it cannot be loaded.
std::uint64_t ModuleIconHash(std::string const& modulePath, UINT iconId);

}  // namespace fake_tray
