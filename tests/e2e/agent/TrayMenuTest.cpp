// The tray menu as the user meets it: only a right-button press opens it,
// its five items in order, Escape closes it, and Close ends the agent.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "res/resource.h"
#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/Pump.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

using TrayMenu = EndToEnd;

TEST_F(TrayMenu, OnlyARightButtonPressOpensItAndItsCloseEndsTheAgentAndRemovesTheIcon) {
    ASSERT_TRUE(agent_.Start());
    ASSERT_TRUE(agent_.WaitForTip(Tip(IDS_AGENT_STOP))) << "the icon was never added";
    for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_RBUTTONDBLCLK,
                       WM_MOUSEMOVE}) {
        agent_.PostTrayCallback(mouse);
        ASSERT_TRUE(agent_.Answers());
        e2e::PumpFor(100);  // a menu, had one been tracked, would be visible by now
        EXPECT_EQ(nullptr, agent_.OpenMenuWindow()) << "mouse message 0x" << std::hex << mouse;
    }

    HWND menu = agent_.OpenTrayMenu();
    ASSERT_NE(nullptr, menu) << "a right-button press opened no menu";
    std::optional<e2e::MenuReport> const read = agent_.ReadMenu();
    ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(agent_.WaitForMenuClosed()) << "Escape left it open";

    ASSERT_TRUE(read.has_value());
    std::vector<e2e::MenuItem> const items = e2e::ItemsOf(*read);
    std::vector<std::wstring> const texts = e2e::AgentMenuTexts(IDR_TRAY_MENU);
    UINT const ids[] = {ID_AGENT_START, ID_AGENT_STOP, ID_CONFIGURATION, ID_VERSION_INFORMATION, ID_TRAY_CLOSE};
    ASSERT_EQ(5u, items.size());
    ASSERT_EQ(5u, texts.size());
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(ids[i], items[i].id) << i;
        EXPECT_EQ(texts[i], items[i].text) << i;
    }
    EXPECT_FALSE(::IsWindowVisible(agent_.Window()));
    ASSERT_TRUE(agent_.IsRunning());

    size_t const before = agent_.Tray().Count();
    menu = agent_.OpenTrayMenu();
    ASSERT_NE(nullptr, menu);
    e2e::AgentUnderTest::ChooseItem(menu, 4);  // Close
    EXPECT_EQ(std::optional<DWORD>(0), agent_.WaitForExit());
    EXPECT_TRUE(agent_.WaitForIconRemoved(before)) << "the tray icon was left behind";
}

// Whatever ends the agent while its menu is open closes the menu, removes the
// icon and ends the process with code 0: the menu's own loop neither swallows
// the quit nor outlives the window it belongs to.
class TrayMenuOpenAtExit : public TrayMenu {
protected:
    void ExpectCleanExitWith(std::function<void()> const& trigger) {
        ASSERT_TRUE(agent_.Start());
        ASSERT_TRUE(agent_.WaitForTip(Tip(IDS_AGENT_STOP))) << "the icon was never added";
        size_t const before = agent_.Tray().Count();
        ASSERT_NE(nullptr, agent_.OpenTrayMenu()) << "a right-button press opened no menu";
        trigger();
        EXPECT_EQ(std::optional<DWORD>(0), agent_.WaitForExit());
        EXPECT_TRUE(agent_.WaitForIconRemoved(before)) << "the tray icon was left behind";
        EXPECT_EQ(nullptr, ::FindWindowA(nullptr, kAgentWindowTitle));
    }
};

TEST_F(TrayMenuOpenAtExit, CloseMessage) {
    ExpectCleanExitWith([&] { ::PostMessageA(agent_.Window(), WM_CLOSE, 0, 0); });
}

TEST_F(TrayMenuOpenAtExit, ExitBroadcast) {
    ExpectCleanExitWith([&] { ::PostMessageA(HWND_BROADCAST, e2e::ExitMessage(), 0, 0); });
}

TEST_F(TrayMenuOpenAtExit, StopCommand) {
    ExpectCleanExitWith([&] {
        e2e::Process stop = e2e::Process::Start(agent_.AgentPath(), " stop");
        EXPECT_EQ(std::optional<DWORD>(0), stop.WaitForExit(kWaitMs));
    });
}

}  // namespace
}  // namespace agent_e2e
