// Fixture for the tray commands of the built agent, driven from another
// process under Wine: a folder of its own per test holding copies of the
// agent and the configuration program, a fake tray that hears the agent's
// icon, and no service registration left from earlier runs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/tray/FakeTray.h"
#include "tests/support/menuhook/MenuProbe.h"
#include "tests/support/status/SharedNamesLock.h"
#include "tests/support/e2e/Process.h"
#include "tests/support/e2e/TempFolder.h"

namespace commands_e2e {

constexpr char kAgentTitle[] = "Orvastel";
constexpr char kAgentFileName[] = "Perimand.exe";
constexpr char kConfigurationFileName[] = "Dellomark.exe";
constexpr DWORD kWaitMs = 10000;
constexpr UINT kTrayNotify = 0x1402;

class CommandsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the agent copy and waits until its message loop runs.
    void StartAgent();

    // As the tray menu delivers a chosen item: posted, lParam 0.
    void PostCommand(UINT id) const;

    // True once the agent has answered a message sent now, which it can
    // only do when the handler it is running has returned.
    bool Answers(DWORD timeoutMs = kWaitMs) const;

    // Waits for the tray to be told `tip`, at notification `from` or later.
    bool WaitForTip(const std::wstring& tip, size_t from = 0) const;

    // Waits for the agent to delete its icon, at notification `from` or later.
    bool WaitForIconRemoved(size_t from) const;
    bool WaitForNotice(const std::function<bool(const fake_tray::Notification&)>& wanted, size_t from) const;

    // A right-button press over the icon; the popup menu window, once open.
    HWND OpenTrayMenu() const;
    // The agent's visible popup menu window, or null.
    HWND OpenMenuWindow() const;
    std::optional<menu_probe::OpenMenu> ReadMenu() const;
    // Chooses item `index` (0 = the first) with the keyboard, as a user would.
    static void ChooseItem(HWND menuWindow, int index);

    // The agent's dialog window, once open.
    HWND WaitForDialog() const;

    perimand_test::SharedNamesLock names_;
    std::unique_ptr<e2e::TempFolder> folder_;
    std::string agentPath_;
    std::string configurationPath_;
    std::unique_ptr<fake_tray::FakeTray> tray_;
    std::unique_ptr<e2e::Process> agent_;
    HWND window_ = nullptr;
};

// WM_GETTEXT of another process's window, as UTF-16.
std::wstring TextOf(HWND window);

// String `id` of the agent's resources (linked into this test too).
std::wstring AgentString(UINT id);

}  // namespace commands_e2e
