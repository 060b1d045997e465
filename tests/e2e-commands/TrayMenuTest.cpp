// The tray menu as the user meets it: only a right-button press opens it,
// its five items in order, Escape closes it, and Close ends the agent.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "tests/e2e-commands/CommandsFixture.h"
#include "tests/support/e2e/Pump.h"
#include "tests/support/e2e/TopLevelWindows.h"
#include "res/resource.h"

namespace commands_e2e {
namespace {

class TrayMenu : public CommandsEndToEnd {};

TEST_F(TrayMenu, OnlyARightButtonPressOpensItAndItsCloseEndsTheAgentAndRemovesTheIcon) {
    StartAgent();
    ASSERT_TRUE(WaitForTip(L"Agent Stop")) << "the icon was never added";
    for (LPARAM mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_RBUTTONDBLCLK,
                         WM_MOUSEMOVE}) {
        ::PostMessageA(window_, kTrayNotify, 0, mouse);
        ASSERT_TRUE(Answers());
        e2e::PumpFor(100);  // a menu, had one been tracked, would be visible by now
        EXPECT_EQ(nullptr, OpenMenuWindow()) << "mouse message 0x" << std::hex << mouse;
    }

    HWND menu = OpenTrayMenu();
    ASSERT_NE(nullptr, menu) << "a right-button press opened no menu";
    std::optional<menu_probe::OpenMenu> read = ReadMenu();
    ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(e2e::PumpUntil([&] { return OpenMenuWindow() == nullptr; }, kWaitMs)) << "Escape left it open";

    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(5u, read->items.size());
    const UINT ids[] = {ID_AGENT_START, ID_AGENT_STOP, ID_CONFIGURATION, ID_VERSION_INFORMATION, ID_TRAY_CLOSE};
    const char16_t* texts[] = {u"Agent Start", u"Agent Stop", u"Configuration", u"Version Information", u"Close"};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(ids[i], read->items[i].id) << i;
        EXPECT_TRUE(read->items[i].text == texts[i]) << i;
    }
    EXPECT_FALSE(::IsWindowVisible(window_));
    ASSERT_TRUE(agent_->IsRunning());

    const size_t before = tray_->Count();
    menu = OpenTrayMenu();
    ASSERT_NE(nullptr, menu);
    ChooseItem(menu, 4);  // Close
    EXPECT_EQ(std::optional<DWORD>(0), agent_->WaitForExit(kWaitMs));
    EXPECT_TRUE(WaitForIconRemoved(before)) << "the tray icon was left behind";
}

// Whatever ends the agent while its menu is open closes the menu, removes the
// icon and ends the process with code 0: the menu's own loop neither swallows
// the quit nor outlives the window it belongs to.
class TrayMenuOpenAtExit : public TrayMenu {
protected:
    void ExpectCleanExitWith(const std::function<void()>& trigger) {
        StartAgent();
        ASSERT_TRUE(WaitForTip(L"Agent Stop")) << "the icon was never added";
        const size_t before = tray_->Count();
        ASSERT_NE(nullptr, OpenTrayMenu()) << "a right-button press opened no menu";
        trigger();
        EXPECT_EQ(std::optional<DWORD>(0), agent_->WaitForExit(kWaitMs));
        EXPECT_TRUE(WaitForIconRemoved(before)) << "the tray icon was left behind";
        EXPECT_EQ(nullptr, ::FindWindowA(nullptr, kAgentTitle));
    }
};

TEST_F(TrayMenuOpenAtExit, CloseMessage) {
    ExpectCleanExitWith([&] { ::PostMessageA(window_, WM_CLOSE, 0, 0); });
}

TEST_F(TrayMenuOpenAtExit, ExitBroadcast) {
    ExpectCleanExitWith([&] { ::PostMessageA(HWND_BROADCAST, ::RegisterWindowMessageA("Exit"), 0, 0); });
}

TEST_F(TrayMenuOpenAtExit, StopCommand) {
    ExpectCleanExitWith([&] {
        e2e::Process stop = e2e::Process::Start(agentPath_, " stop");
        EXPECT_EQ(std::optional<DWORD>(0), stop.WaitForExit(kWaitMs));
    });
}

}  // namespace
}  // namespace commands_e2e
