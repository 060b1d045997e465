// The version dialog of the built agent: its two lines, one at a time, the
// three ways it closes, and the agent ending cleanly underneath it.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/e2e-commands/CommandsFixture.h"
#include "tests/support/e2e/Pump.h"
#include "tests/support/e2e/TopLevelWindows.h"
#include "res/resource.h"

namespace commands_e2e {
namespace {

constexpr DWORD kSecondCommandMs = 3000;

class VersionDialog : public CommandsEndToEnd {};

TEST_F(VersionDialog, ShowsBothLinesOnceAtATimeAndClosesEveryWayLeavingTheAgentHidden) {
    StartAgent();
    enum class CloseBy { Button, Enter, Escape };
    for (CloseBy way : {CloseBy::Button, CloseBy::Enter, CloseBy::Escape}) {
        SCOPED_TRACE(static_cast<int>(way));
        PostCommand(ID_VERSION_INFORMATION);
        HWND dialog = WaitForDialog();
        ASSERT_NE(nullptr, dialog) << "no version dialog";
        if (way == CloseBy::Button) {
            EXPECT_EQ(L"Version Information", TextOf(dialog));
            EXPECT_EQ(L"Vandrel 2.0 (Release Date:2009-03-31)", TextOf(::GetDlgItem(dialog, IDC_VERSION_TEXT)));
            EXPECT_FALSE(AgentString(IDS_LEGAL_NOTICE).empty());
            EXPECT_EQ(AgentString(IDS_LEGAL_NOTICE), TextOf(::GetDlgItem(dialog, IDC_LEGAL_TEXT)));
            EXPECT_EQ(window_, ::GetWindow(dialog, GW_OWNER));
            // Sent rather than posted so that it is known to be handled when
            // the call returns; a second dialog would keep it from returning.
            EXPECT_TRUE(e2e::SendWithTimeout(window_, WM_COMMAND, MAKEWPARAM(ID_VERSION_INFORMATION, 0), 0,
                                             kSecondCommandMs)
                            .has_value())
                << "the second command opened a second dialog";
            EXPECT_EQ(1u, e2e::FindTopLevelWindows({"", "#32770", agent_->Id()}).size());
            ::PostMessageA(::GetDlgItem(dialog, IDC_ABOUT_OK), BM_CLICK, 0, 0);
        } else {
            ASSERT_TRUE(Answers());
            ::PostMessageA(dialog, WM_KEYDOWN, way == CloseBy::Enter ? VK_RETURN : VK_ESCAPE, 0);
        }
        EXPECT_TRUE(e2e::WaitForWindowGone(dialog, kWaitMs)) << "the dialog stayed open";
        ASSERT_TRUE(Answers());
        EXPECT_FALSE(::IsWindowVisible(window_));
        EXPECT_FALSE(::IsWindowEnabled(window_));
    }
    EXPECT_TRUE(agent_->IsRunning());
}

TEST_F(VersionDialog, CloseOrExitUnderItEndsTheAgentWithZeroAndRemovesTheIcon) {
    for (bool byClose : {true, false}) {
        SCOPED_TRACE(byClose ? "Close command" : "exit broadcast");
        const size_t added = tray_->Count();
        StartAgent();
        ASSERT_TRUE(WaitForTip(L"Agent Stop", added));
        PostCommand(ID_VERSION_INFORMATION);
        ASSERT_NE(nullptr, WaitForDialog()) << "no version dialog";
        const size_t before = tray_->Count();

        // Either destroys the agent window, and the dialog with it, inside
        // the dialog's modal loop.
        if (byClose) PostCommand(ID_TRAY_CLOSE);
        else ASSERT_TRUE(::PostMessageA(HWND_BROADCAST, e2e::ExitMessage(), 0, 0));

        EXPECT_EQ(std::optional<DWORD>(0), agent_->WaitForExit(kWaitMs));
        EXPECT_TRUE(WaitForIconRemoved(before)) << "the tray icon was left behind";
    }
}

}  // namespace
}  // namespace commands_e2e
