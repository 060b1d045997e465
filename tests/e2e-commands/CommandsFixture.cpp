#include "tests/e2e-commands/CommandsFixture.h"

#include <shellapi.h>

#include <iostream>

#include "tests/e2e-commands/ServiceRegistration.h"
#include "tests/support/e2e/Pump.h"
#include "tests/support/e2e/TopLevelWindows.h"

namespace commands_e2e {

constexpr int kTextLimit = 512;

void CommandsEndToEnd::SetUp() {
    // A run cut short by a timeout cannot end what it started.
    const int leftovers = e2e::KillProcessesNamed(kAgentFileName) + e2e::KillProcessesNamed(kConfigurationFileName);
    if (leftovers > 0) std::cerr << "note: ended " << leftovers << " program(s) left by an earlier run\n";
    ASSERT_EQ(nullptr, ::FindWindowA(nullptr, kAgentTitle)) << "another agent window is in the way";
    ASSERT_TRUE(names_.held());
    ASSERT_TRUE(RemoveService()) << "a \"Vandrel Service\" left by an earlier run cannot be removed";

    folder_ = std::make_unique<e2e::TempFolder>("perimand commands");
    agentPath_ = folder_->CopyIn(e2e::HostPathToWindows(PERIMAND_AGENT_EXE), kAgentFileName);
    configurationPath_ = folder_->CopyIn(e2e::HostPathToWindows(DELLOMARK_EXE), kConfigurationFileName);
    // Before the agent: Wine hands every icon request to the first tray window.
    tray_ = std::make_unique<fake_tray::FakeTray>();
}

void CommandsEndToEnd::TearDown() {
    agent_.reset();
    e2e::KillProcessesNamed(kConfigurationFileName);
    EXPECT_TRUE(RemoveService());
}

void CommandsEndToEnd::StartAgent() {
    agent_ = std::make_unique<e2e::Process>(e2e::Process::Start(agentPath_, ""));
    window_ = e2e::WaitForWindow({kAgentTitle, "", agent_->Id()}, kWaitMs);
    ASSERT_NE(nullptr, window_) << "the agent window did not appear";
    ::WaitForInputIdle(agent_->Handle(), kWaitMs);
    ASSERT_TRUE(Answers());
}

void CommandsEndToEnd::PostCommand(UINT id) const {
    ASSERT_TRUE(::PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0));
}

bool CommandsEndToEnd::Answers(DWORD timeoutMs) const {
    return e2e::SendWithTimeout(window_, WM_NULL, 0, 0, timeoutMs).has_value();
}

bool CommandsEndToEnd::WaitForTip(const std::wstring& tip, size_t from) const {
    return WaitForNotice([&](const fake_tray::Notification& seen) { return seen.tip == tip; }, from);
}

bool CommandsEndToEnd::WaitForIconRemoved(size_t from) const {
    return WaitForNotice([](const fake_tray::Notification& seen) { return seen.action == NIM_DELETE; }, from);
}

bool CommandsEndToEnd::WaitForNotice(const std::function<bool(const fake_tray::Notification&)>& wanted,
                                     size_t from) const {
    const DWORD window = fake_tray::WindowId(window_);
    return tray_->WaitFor([&](const fake_tray::Notification& seen) { return seen.window == window && wanted(seen); },
                          from, kWaitMs)
        .has_value();
}

HWND CommandsEndToEnd::OpenMenuWindow() const {
    for (HWND menu : e2e::FindTopLevelWindows({"", "#32768", agent_->Id()}))
        if (::IsWindowVisible(menu)) return menu;
    return nullptr;
}

HWND CommandsEndToEnd::OpenTrayMenu() const {
    ::PostMessageA(window_, kTrayNotify, 0, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    e2e::PumpUntil([&] { return (menu = OpenMenuWindow()) != nullptr; }, kWaitMs);
    return menu;
}

std::optional<menu_probe::OpenMenu> CommandsEndToEnd::ReadMenu() const {
    return menu_probe::ReadOpenMenu(window_, kWaitMs);
}

void CommandsEndToEnd::ChooseItem(HWND menuWindow, int index) {
    for (int i = 0; i <= index; ++i) ::PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

HWND CommandsEndToEnd::WaitForDialog() const {
    return e2e::WaitForWindow({"", "#32770", agent_->Id()}, kWaitMs);
}

std::wstring TextOf(HWND window) {
    wchar_t text[kTextLimit] = {};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, kTextLimit, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kWaitMs,
                          &ignored);
    return text;
}

std::wstring AgentString(UINT id) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleA(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

}  // namespace commands_e2e
