// The built agent, driven and watched from another process under Wine: the
// one helper every end-to-end test starts it with.
//
// Each AgentUnderTest gets a folder of its own holding a copy of the agent
// (the folder's name has a blank, so the program name on every command line
// needs its quotes), and optionally the configuration program beside it and
// a fake tray that hears the agent's icon. Preparing it ends whatever agent
// an earlier, cut-short run left in the Wine session.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/AgentContract.h"
#include "tests/doubles/tray/FakeTray.h"
#include "tests/rigs/e2e/Probe.h"
#include "tests/rigs/e2e/Process.h"
#include "tests/rigs/e2e/TempFolder.h"

namespace e2e {

// A wait ends as soon as what it waits for happens; this only bounds a
// failure. Starting a process under Wine on a busy machine can take seconds.
constexpr DWORD kWaitMs = kDefaultWaitMs;
constexpr DWORD kStartWaitMs = 30000;

// A start that was expected to end by itself.
struct Finished {
    std::optional<DWORD> exitCode;            // nothing: it was still running
    std::vector<std::string> createdWindows;  // class names, as seen from outside
};

class AgentUnderTest {
public:
    struct Options {
        bool configurationProgram = false;  // copy Dellomark.exe beside the agent
        bool tray = false;                  // a fake tray, made before any agent starts
    };

    AgentUnderTest() = default;
    ~AgentUnderTest();
    AgentUnderTest(AgentUnderTest const&) = delete;
    AgentUnderTest& operator=(AgentUnderTest const&) = delete;

    // Ends leftovers, checks that no window titled like the agent is in the
    // way, makes the folder and copies the programs in.
    ::testing::AssertionResult Prepare(Options const& options);

    // Starts the agent with `tail` after its quoted path (ending any agent
    // this object started before) and waits until its window exists and
    // its message loop runs, so what a test then sees is no longer start-up.
    ::testing::AssertionResult Start(std::string const& tail = "");

    // Runs a start with `tail` that is expected to end by itself, watching
    // every window it creates from its very first instruction.
    Finished RunToEnd(std::string const& tail) const;

    HWND Window() const { return window_; }
    Process& Running() { return *process_; }
    bool IsRunning() const { return process_ && process_->IsRunning(); }
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = kWaitMs);
    // Ends the agent at once, if this object started one that still runs.
    void End();

    // True once the agent has answered a message sent now, which it can
    // only do when the handler it is running has returned.
    bool Answers(DWORD timeoutMs = kWaitMs) const;

    // The tray icon's callback with this mouse message, as the shell posts it.
    bool PostTrayCallback(UINT mouseMessage) const;
    // A command as the tray menu delivers a chosen item: posted, lParam 0.
    bool PostCommand(UINT id) const;

    // A right-button press over the icon; the popup menu window, once open.
    HWND OpenTrayMenu() const;
    // The agent's visible popup menu window, or null.
    HWND OpenMenuWindow() const;
    bool WaitForMenuClosed() const;
    // What the probe reads of the open popup menu from inside the agent.
    std::optional<MenuReport> ReadMenu() const;
    // Chooses item `index` (0 = the first) with the keyboard, as a user would.
    static void ChooseItem(HWND menuWindow, int index);
    // The agent's dialog window, once open.
    HWND WaitForDialog() const;

    // The fake tray (Options::tray), and what it heard from this agent's
    // window: the first request at index `from` or later that `wanted` takes.
    fake_tray::FakeTray& Tray() { return *tray_; }
    std::optional<fake_tray::FakeTray::Found> WaitForNotice(
        std::function<bool(fake_tray::Notification const&)> const& wanted, size_t from = 0) const;
    std::optional<fake_tray::FakeTray::Found> WaitForTray(DWORD action, size_t from = 0) const;
    bool WaitForTip(std::wstring const& tip, size_t from = 0) const;
    bool WaitForIconRemoved(size_t from) const;
    // The hash of the agent copy's icon `iconId`, as the tray sees icons.
    std::uint64_t IconHash(UINT iconId) const;

    std::string const& AgentPath() const { return agentPath_; }
    std::string const& ConfigurationPath() const { return configurationPath_; }

private:
    std::unique_ptr<TempFolder> folder_;
    std::string agentPath_;
    std::string configurationPath_;
    std::unique_ptr<fake_tray::FakeTray> tray_;
    std::unique_ptr<Process> process_;
    HWND window_ = nullptr;
};

// The agent's texts from its resources, linked into the test executable
// (perimand_add_gtest RESOURCES): string `id`, and the item texts of the
// first popup of menu `menuId`, a dialog's caption. Language 0 takes the copy the system picks
// for the running user; an explicit one takes exactly that copy.
std::wstring AgentString(UINT id, LANGID language = 0);
std::vector<std::wstring> AgentMenuTexts(UINT menuId, LANGID language = 0);
// The caption of dialog `dialogId` (an extended template).
std::wstring AgentDialogCaption(UINT dialogId, LANGID language = 0);

constexpr LANGID kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);

// WM_GETTEXT of another process's window, as UTF-16.
std::wstring TextOf(HWND window);

// For failure messages.
std::string Utf8(std::wstring const& text);

}  // namespace e2e
