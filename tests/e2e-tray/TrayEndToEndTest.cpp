// The built agent and the notification area, as the shell sees it: a fake
// tray receives the real Shell_NotifyIconA traffic that Wine forwards, while
// the status block double plays the monitoring service.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "tests/support/tray/FakeTray.h"
#include "tests/support/status/StatusBlockDouble.h"
#include "tests/support/e2e/Process.h"
#include "tests/support/e2e/TempFolder.h"
#include "tests/support/e2e/TopLevelWindows.h"
#include "res/resource.h"

namespace {

using fake_tray::FakeTray;
using fake_tray::Notification;

constexpr char kAgentTitle[] = "Orvastel";
constexpr char kAgentFileName[] = "Perimand.exe";
constexpr DWORD kWaitMs = 10000;
constexpr UINT kTrayCallback = 0x1402;

std::string Utf8(const std::wstring& text) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string converted(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &converted[0], size, nullptr, nullptr);
    converted.resize(converted.size() - 1);
    return converted;
}

class TrayEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // A run cut short by a timeout cannot end the agent it started.
        e2e::KillProcessesNamed(kAgentFileName);
        ASSERT_EQ(nullptr, ::FindWindowA(nullptr, kAgentTitle)) << "another agent window is in the way";
        folder_ = std::make_unique<e2e::TempFolder>("perimand tray");
        agentPath_ = folder_->CopyIn(e2e::HostPathToWindows(PERIMAND_AGENT_EXE), kAgentFileName);
        // Before the agent: Wine hands every request to the first tray window.
        tray_ = std::make_unique<FakeTray>();
    }

    void StartAgent() {
        agent_ = std::make_unique<e2e::Process>(e2e::Process::Start(agentPath_, ""));
        window_ = e2e::WaitForWindow({kAgentTitle, "", agent_->Id()}, kWaitMs);
        ASSERT_NE(nullptr, window_) << "the agent window did not appear";
    }

    // The first request from the agent window, from index `from` on, with
    // this action (and tooltip, when given).
    std::optional<FakeTray::Found> WaitFor(DWORD action, size_t from,
                                           const std::wstring* tip = nullptr) const {
        const DWORD window = fake_tray::WindowId(window_);
        return tray_->WaitFor(
            [&](const Notification& seen) {
                return seen.window == window && seen.action == action && (tip == nullptr || seen.tip == *tip);
            },
            from, kWaitMs);
    }

    std::uint64_t IconHash(UINT iconId) const { return fake_tray::ModuleIconHash(agentPath_, iconId); }

    // Each status word in turn: the tooltip and the icon follow it.
    void ExpectShown(size_t from, const std::wstring& tip, UINT iconId) {
        SCOPED_TRACE(Utf8(tip));
        std::optional<FakeTray::Found> seen = WaitFor(NIM_MODIFY, from, &tip);
        ASSERT_TRUE(seen.has_value()) << "the tooltip did not follow the status word";
        EXPECT_EQ(IconHash(iconId), seen->notification.iconHash);
    }

    // Destroyed in reverse: the agent first, then the tray, then the block.
    perimand_test::StatusBlockDouble block_;
    std::unique_ptr<e2e::TempFolder> folder_;
    std::string agentPath_;
    std::unique_ptr<FakeTray> tray_;
    std::unique_ptr<e2e::Process> agent_;
    HWND window_ = nullptr;
};

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

    // The agent asks whether the icon is there after all; this shell says no.
    std::optional<Notification> confirm = tray_->WaitForIndex(1, kWaitMs);
    ASSERT_TRUE(confirm.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), confirm->action);
    EXPECT_FALSE(confirm->accepted);

    std::optional<FakeTray::Found> retried = WaitFor(NIM_ADD, 2);
    ASSERT_TRUE(retried.has_value());
    EXPECT_TRUE(retried->notification.accepted);
    std::optional<Notification> next = tray_->WaitForIndex(retried->index + 1, kWaitMs);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), next->action);
    EXPECT_TRUE(next->accepted);
}

TEST_F(TrayEndToEnd, AddThatTimedOutButStuckStillFollowsTheStatus) {
    ASSERT_TRUE(block_.Publish(3));
    tray_->TimeOutNextAdd();
    StartAgent();
    std::optional<FakeTray::Found> added = WaitFor(NIM_ADD, 0);
    ASSERT_TRUE(added.has_value());
    EXPECT_FALSE(added->notification.accepted);

    ASSERT_TRUE(block_.SetStatusWord(1));
    ExpectShown(added->index + 1, L"AC Fail Battery Normal", IDI_ON_BATTERY);
    ASSERT_TRUE(block_.SetStatusWord(4));
    ExpectShown(added->index + 1, L"Communication lost", IDI_COMMUNICATION_LOST);
    for (const Notification& seen : tray_->Notifications()) {
        if (seen.action == NIM_ADD) {
            EXPECT_EQ(L"On Line Battery Normal", seen.tip) << "added twice";
        }
    }
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
