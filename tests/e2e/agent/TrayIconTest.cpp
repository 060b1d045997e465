// The built agent and the notification area, as the shell sees it: the fake
// tray receives the real Shell_NotifyIconA traffic that Wine forwards, while
// the status block double plays the monitoring service. Which icon and text
// each status word shows is checked once, in the integration tests; here,
// that the words reach the tray and the icon's life around the shell.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "res/resource.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "tests/rigs/e2e/EndToEnd.h"

namespace agent_e2e {
namespace {

using fake_tray::FakeTray;
using fake_tray::Notification;

class TrayIcon : public EndToEnd {
protected:
    // A modification from index `from` on showing `tip` with icon `iconId`.
    void ExpectShown(size_t from, std::wstring const& tip, UINT iconId) {
        SCOPED_TRACE(e2e::Utf8(tip));
        std::optional<FakeTray::Found> const seen = agent_.WaitForNotice(
            [&](Notification const& n) { return n.action == NIM_MODIFY && n.tip == tip; }, from);
        ASSERT_TRUE(seen.has_value()) << "the tooltip did not follow the status word";
        EXPECT_EQ(agent_.IconHash(iconId), seen->notification.iconHash);
    }

    FakeTray& tray() { return agent_.Tray(); }

    perimand_test::StatusBlockDouble block_;
};

TEST_F(TrayIcon, AgentStopIconAppearsAfterStartWithTheBlockAbsent) {
    ASSERT_TRUE(agent_.Start());
    std::optional<Notification> const first = tray().WaitForIndex(0, kWaitMs);
    ASSERT_TRUE(first.has_value()) << "no icon within " << kWaitMs << " ms";
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), first->action);
    EXPECT_EQ(fake_tray::WindowId(agent_.Window()), first->window);
    EXPECT_EQ(0u, first->id);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), first->flags);
    EXPECT_EQ(WM_TRAYNOTIFY, first->callbackMessage);
    EXPECT_EQ(Tip(IDS_AGENT_STOP), first->tip);
    EXPECT_NE(0u, first->iconHash);
    EXPECT_EQ(agent_.IconHash(IDI_AGENT_STOP), first->iconHash);
}

// Appearing, changing and vanishing: each reaches the tray.
TEST_F(TrayIcon, TooltipAndIconFollowThePublishedStatusWord) {
    ASSERT_TRUE(agent_.Start());
    ASSERT_TRUE(agent_.WaitForTray(NIM_ADD).has_value());

    ASSERT_TRUE(block_.Publish(3));
    ExpectShown(tray().Count(), Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), IDI_ON_LINE);
    ASSERT_TRUE(block_.SetStatusWord(1));
    ExpectShown(tray().Count(), Tip(IDS_AC_FAIL, IDS_BATTERY_NORMAL), IDI_ON_BATTERY);
    block_.Clear();
    ExpectShown(tray().Count(), Tip(IDS_AGENT_STOP), IDI_AGENT_STOP);
}

TEST_F(TrayIcon, StopCommandRemovesTheIcon) {
    ASSERT_TRUE(agent_.Start());
    ASSERT_TRUE(agent_.WaitForTray(NIM_ADD).has_value());

    e2e::Process stop = e2e::Process::Start(agent_.AgentPath(), " stop");
    std::optional<FakeTray::Found> const removal = agent_.WaitForTray(NIM_DELETE);
    ASSERT_TRUE(removal.has_value()) << "the icon was not removed";
    EXPECT_EQ(0u, removal->notification.id);
    EXPECT_EQ(std::optional<DWORD>(0), agent_.WaitForExit());
}

TEST_F(TrayIcon, TaskbarCreatedMakesTheAgentAddItsIconAgain) {
    ASSERT_TRUE(block_.Publish(3));
    ASSERT_TRUE(agent_.Start());
    std::optional<FakeTray::Found> const added = agent_.WaitForTray(NIM_ADD);
    ASSERT_TRUE(added.has_value());
    ASSERT_TRUE(agent_.WaitForTray(NIM_MODIFY, added->index + 1).has_value());

    // Wine never broadcasts it; a restarted shell would.
    size_t const before = tray().Count();
    ASSERT_TRUE(::PostMessageA(agent_.Window(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0));
    std::optional<FakeTray::Found> const again = agent_.WaitForTray(NIM_ADD, before);
    ASSERT_TRUE(again.has_value()) << "the icon was not added anew";
    EXPECT_EQ(Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), again->notification.tip);
    EXPECT_TRUE(agent_.WaitForTray(NIM_MODIFY, again->index + 1).has_value());
}

TEST_F(TrayIcon, RefusedAddIsRetriedOnTheNextTick) {
    tray().RefuseNext(NIM_ADD);
    ASSERT_TRUE(agent_.Start());
    std::optional<Notification> const refused = tray().WaitForIndex(0, kWaitMs);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), refused->action);
    EXPECT_FALSE(refused->accepted);

    // The agent asks whether the icon is there after all; this shell says no.
    std::optional<Notification> const confirm = tray().WaitForIndex(1, kWaitMs);
    ASSERT_TRUE(confirm.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), confirm->action);
    EXPECT_FALSE(confirm->accepted);

    std::optional<FakeTray::Found> const retried = agent_.WaitForTray(NIM_ADD, 2);
    ASSERT_TRUE(retried.has_value());
    EXPECT_TRUE(retried->notification.accepted);
    std::optional<Notification> const next = tray().WaitForIndex(retried->index + 1, kWaitMs);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), next->action);
    EXPECT_TRUE(next->accepted);
}

TEST_F(TrayIcon, AddThatTimedOutButStuckStillFollowsTheStatus) {
    ASSERT_TRUE(block_.Publish(3));
    tray().TimeOutNextAdd();
    ASSERT_TRUE(agent_.Start());
    std::optional<FakeTray::Found> const added = agent_.WaitForTray(NIM_ADD);
    ASSERT_TRUE(added.has_value());
    EXPECT_FALSE(added->notification.accepted);

    ASSERT_TRUE(block_.SetStatusWord(1));
    ExpectShown(added->index + 1, Tip(IDS_AC_FAIL, IDS_BATTERY_NORMAL), IDI_ON_BATTERY);
    ASSERT_TRUE(block_.SetStatusWord(4));
    ExpectShown(added->index + 1, Tip(IDS_COMMUNICATION_LOST), IDI_COMMUNICATION_LOST);
    for (Notification const& seen : tray().Notifications()) {
        if (seen.action == NIM_ADD) {
            EXPECT_EQ(Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), seen.tip) << "added twice";
        }
    }
}

}  // namespace
}  // namespace agent_e2e
