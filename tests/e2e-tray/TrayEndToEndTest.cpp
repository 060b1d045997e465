// The built agent and the notification area, as the shell sees it: a fake
// tray receives the real Shell_NotifyIconA traffic that Wine forwards, while
// the status block double plays the monitoring service.
#include "tests/e2e-tray/TrayRig.h"

#include "res/resource.h"

namespace {

using namespace tray_e2e;

TEST_F(TrayEndToEnd, AgentStopIconAppearsAfterStartWithTheBlockAbsent) {
    StartAgent();
    std::optional<Notification> first = tray_->WaitForIndex(0, kWaitMs);
    ASSERT_TRUE(first.has_value()) << "no icon within " << kWaitMs << " ms";
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), first->action);
    EXPECT_EQ(fake_tray::WindowId(window_), first->window);
    EXPECT_EQ(0u, first->id);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), first->flags);
    EXPECT_EQ(kTrayCallback, first->callbackMessage);
    EXPECT_EQ(L"Agent Stop", first->tip);
    EXPECT_NE(0u, first->iconHash);
    EXPECT_EQ(IconHash(IDI_AGENT_STOP), first->iconHash);
}

TEST_F(TrayEndToEnd, TooltipAndIconFollowThePublishedStatusWord) {
    StartAgent();
    ASSERT_TRUE(WaitFor(NIM_ADD, 0).has_value());

    ASSERT_TRUE(block_.Publish(3));
    ExpectShown(tray_->Count(), L"On Line Battery Normal", IDI_ON_LINE);
    ASSERT_TRUE(block_.SetStatusWord(1));
    ExpectShown(tray_->Count(), L"AC Fail Battery Normal", IDI_ON_BATTERY);
    ASSERT_TRUE(block_.SetStatusWord(4));
    ExpectShown(tray_->Count(), L"Communication lost", IDI_COMMUNICATION_LOST);
    ASSERT_TRUE(block_.SetStatusWord(2));
    ExpectShown(tray_->Count(), L"On Line Battery Low", IDI_ON_BATTERY);
    block_.Clear();
    ExpectShown(tray_->Count(), L"Agent Stop", IDI_AGENT_STOP);
}

TEST_F(TrayEndToEnd, StopCommandRemovesTheIcon) {
    StartAgent();
    ASSERT_TRUE(WaitFor(NIM_ADD, 0).has_value());

    e2e::Process stop = e2e::Process::Start(agentPath_, " stop");
    std::optional<FakeTray::Found> removal = WaitFor(NIM_DELETE, 0);
    ASSERT_TRUE(removal.has_value()) << "the icon was not removed";
    EXPECT_EQ(0u, removal->notification.id);
    EXPECT_EQ(std::optional<DWORD>(0), agent_->WaitForExit(kWaitMs));
}

TEST_F(TrayEndToEnd, TaskbarCreatedMakesTheAgentAddItsIconAgain) {
    ASSERT_TRUE(block_.Publish(3));
    StartAgent();
    std::optional<FakeTray::Found> added = WaitFor(NIM_ADD, 0);
    ASSERT_TRUE(added.has_value());
    ASSERT_TRUE(WaitFor(NIM_MODIFY, added->index + 1).has_value());

    // Wine never broadcasts it; a restarted shell would.
    const size_t before = tray_->Count();
    ASSERT_TRUE(::PostMessageA(window_, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0));
    std::optional<FakeTray::Found> again = WaitFor(NIM_ADD, before);
    ASSERT_TRUE(again.has_value()) << "the icon was not added anew";
    EXPECT_EQ(L"On Line Battery Normal", again->notification.tip);
    EXPECT_TRUE(WaitFor(NIM_MODIFY, again->index + 1).has_value());
}

TEST_F(TrayEndToEnd, RefusedAddIsRetriedOnTheNextTick) {
    tray_->RefuseNext(NIM_ADD);
    StartAgent();
    std::optional<Notification> refused = tray_->WaitForIndex(0, kWaitMs);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), refused->action);
    EXPECT_FALSE(refused->accepted);

    std::optional<Notification> retried = tray_->WaitForIndex(1, kWaitMs);
    ASSERT_TRUE(retried.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), retried->action);
    EXPECT_TRUE(retried->accepted);
    std::optional<Notification> next = tray_->WaitForIndex(2, kWaitMs);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), next->action);
}

// Runs under the generated Japanese locale only.
using JapaneseTray = TrayEndToEnd;

TEST_F(JapaneseTray, TooltipJoinsTheJapaneseTexts) {
    ASSERT_EQ(932u, ::GetACP()) << "the Japanese locale is missing; Wine fell back to English";
    StartAgent();
    const std::wstring agentStop = L"エージェント停止";
    ASSERT_TRUE(WaitFor(NIM_ADD, 0, &agentStop).has_value());

    ASSERT_TRUE(block_.Publish(3));
    ExpectShown(tray_->Count(), L"商務運転中 バッテリ正常", IDI_ON_LINE);
}

}  // namespace
