// The version dialog of the built agent: its two lines, one at a time, the
// three ways it closes, and the agent ending cleanly underneath it.
#include <windows.h>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

constexpr DWORD kSecondCommandMs = 3000;

using VersionDialog = EndToEnd;

TEST_F(VersionDialog, ShowsBothLinesOnceAtATimeAndClosesEveryWayLeavingTheAgentHidden) {
    ASSERT_TRUE(agent_.Start());
    enum class CloseBy { Button, Enter, Escape };
    for (CloseBy way : {CloseBy::Button, CloseBy::Enter, CloseBy::Escape}) {
        SCOPED_TRACE(static_cast<int>(way));
        agent_.PostCommand(ID_VERSION_INFORMATION);
        HWND dialog = agent_.WaitForDialog();
        ASSERT_NE(nullptr, dialog) << "no version dialog";
        if (way == CloseBy::Button) {
            EXPECT_EQ(e2e::AgentDialogCaption(IDD_ABOUTBOX), e2e::TextOf(dialog));
            EXPECT_EQ(e2e::AgentString(IDS_VERSION_LINE), e2e::TextOf(::GetDlgItem(dialog, IDC_VERSION_TEXT)));
            EXPECT_FALSE(e2e::AgentString(IDS_LEGAL_NOTICE).empty());
            EXPECT_EQ(e2e::AgentString(IDS_LEGAL_NOTICE), e2e::TextOf(::GetDlgItem(dialog, IDC_LEGAL_TEXT)));
            EXPECT_EQ(agent_.Window(), ::GetWindow(dialog, GW_OWNER));
            // Sent rather than posted so that it is known to be handled when
            // the call returns; a second dialog would keep it from returning.
            EXPECT_TRUE(e2e::SendWithTimeout(agent_.Window(), WM_COMMAND, MAKEWPARAM(ID_VERSION_INFORMATION, 0), 0,
                                             kSecondCommandMs)
                            .has_value())
                << "the second command opened a second dialog";
            EXPECT_EQ(1u, e2e::FindTopLevelWindows({"", "#32770", agent_.Running().Id()}).size());
            ::PostMessageA(::GetDlgItem(dialog, IDC_ABOUT_OK), BM_CLICK, 0, 0);
        } else {
            ASSERT_TRUE(agent_.Answers());
            ::PostMessageA(dialog, WM_KEYDOWN, way == CloseBy::Enter ? VK_RETURN : VK_ESCAPE, 0);
        }
        EXPECT_TRUE(e2e::WaitForWindowGone(dialog, kWaitMs)) << "the dialog stayed open";
        ASSERT_TRUE(agent_.Answers());
        EXPECT_FALSE(::IsWindowVisible(agent_.Window()));
        EXPECT_FALSE(::IsWindowEnabled(agent_.Window()));
    }
    EXPECT_TRUE(agent_.IsRunning());
}

TEST_F(VersionDialog, CloseOrExitUnderItEndsTheAgentWithZeroAndRemovesTheIcon) {
    for (bool byClose : {true, false}) {
        SCOPED_TRACE(byClose ? "Close command" : "exit broadcast");
        size_t const added = agent_.Tray().Count();
        ASSERT_TRUE(agent_.Start());
        ASSERT_TRUE(agent_.WaitForTip(Tip(IDS_AGENT_STOP), added));
        agent_.PostCommand(ID_VERSION_INFORMATION);
        ASSERT_NE(nullptr, agent_.WaitForDialog()) << "no version dialog";
        size_t const before = agent_.Tray().Count();

        // Either destroys the agent window, and the dialog with it, inside
        // the dialog's modal loop.
        if (byClose) agent_.PostCommand(ID_TRAY_CLOSE);
        else ASSERT_TRUE(::PostMessageA(HWND_BROADCAST, e2e::ExitMessage(), 0, 0));

        EXPECT_EQ(std::optional<DWORD>(0), agent_.WaitForExit());
        EXPECT_TRUE(agent_.WaitForIconRemoved(before)) << "the tray icon was left behind";
    }
}

}  // namespace
}  // namespace agent_e2e
