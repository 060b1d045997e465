// The tray as the agent window drives it tick by tick, seen through the
// notification-area seam, with a real status block behind every tick.
#include "tests/integration/status/AgentWindowFixture.h"

#include "res/resource.h"

namespace status_test {
namespace {

using TrayRefresh = AgentWindowTest;

// The one check of the whole status table: icons and texts from the real
// resources, linked into this test as into the agent.
struct Shown {
    std::uint32_t statusWord;
    UINT iconId;
    UINT firstText;
    UINT secondText;  // 0: the tip is the first text alone
    int agentRunning;
};

const Shown kShown[] = {
    {0, IDI_AGENT_STOP, IDS_AGENT_STOP, 0, 0},
    {1, IDI_ON_BATTERY, IDS_AC_FAIL, IDS_BATTERY_NORMAL, 1},
    {2, IDI_ON_BATTERY, IDS_ON_LINE, IDS_BATTERY_LOW, 1},
    {3, IDI_ON_LINE, IDS_ON_LINE, IDS_BATTERY_NORMAL, 1},
    {4, IDI_COMMUNICATION_LOST, IDS_COMMUNICATION_LOST, 0, 1},
};

std::string OwnString(UINT id) {
    char text[128] = {};
    ::LoadStringA(::GetModuleHandleA(nullptr), id, text, sizeof text);
    return text;
}

std::string OwnTip(const Shown& shown) {
    std::string tip = OwnString(shown.firstText);
    if (shown.secondText != 0) tip += " " + OwnString(shown.secondText);
    return tip;
}

TEST_F(TrayRefresh, FirstTickAddsTheIconAndLaterTicksModifyIt) {
    ASSERT_TRUE(block_.Publish(3));
    Tick();
    ASSERT_EQ(1u, TrayRecorder::calls.size());
    const TrayCall& add = TrayRecorder::calls[0];
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), add.action);
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V3_SIZE), add.cbSize);
    EXPECT_EQ(window_, add.window);
    EXPECT_EQ(0u, add.id);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), add.flags);
    EXPECT_EQ(WM_TRAYNOTIFY, add.callbackMessage);
    EXPECT_EQ(OwnIcon(IDI_ON_LINE), add.icon);
    EXPECT_EQ("On Line Battery Normal", add.tip);
    EXPECT_EQ(1, frame_->iconAdded);

    EXPECT_EQ(1, frame_->ticksPassedOn);  // a tick with the block present goes on to the framework

    // A refused modification is not retried as an add.
    TrayRecorder::answer = FALSE;
    Ticks(2);
    ASSERT_EQ(3u, TrayRecorder::calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), TrayRecorder::calls[1].action);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), TrayRecorder::calls[2].action);
    EXPECT_EQ("On Line Battery Normal", TrayRecorder::calls[2].tip);
    EXPECT_EQ(1, frame_->iconAdded);
}

TEST_F(TrayRefresh, EachStatusWordShowsItsIconTooltipAndServiceState) {
    ASSERT_TRUE(block_.Publish(0));
    for (const Shown& shown : kShown) {
        SCOPED_TRACE(shown.statusWord);
        ASSERT_TRUE(block_.SetStatusWord(shown.statusWord));
        frame_->agentRunning = 1 - shown.agentRunning;
        TrayRecorder::calls.clear();
        Tick();
        ASSERT_EQ(1u, TrayRecorder::calls.size());
        EXPECT_EQ(OwnIcon(shown.iconId), TrayRecorder::calls[0].icon);
        EXPECT_EQ(OwnTip(shown), TrayRecorder::calls[0].tip);
        EXPECT_EQ(shown.agentRunning, frame_->agentRunning);
    }
}

TEST_F(TrayRefresh, OnlyThePollTimerPollsAndAnAbsentBlockStopsTheTickThere) {
    frame_->agentRunning = 1;
    ::SendMessageA(window_, WM_TIMER, kPollTimerId + 1, 0);
    EXPECT_TRUE(TrayRecorder::calls.empty());
    EXPECT_EQ(1, frame_->ticksPassedOn);

    EXPECT_EQ(1, Tick());
    EXPECT_EQ(1, frame_->ticksPassedOn);
    ASSERT_EQ(1u, TrayRecorder::calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), TrayRecorder::calls[0].action);
    EXPECT_EQ(OwnIcon(IDI_AGENT_STOP), TrayRecorder::calls[0].icon);
    EXPECT_EQ("Agent Stop", TrayRecorder::calls[0].tip);
    EXPECT_EQ(0, frame_->agentRunning);
}

TEST_F(TrayRefresh, UnknownWordShowsNothingAndLeavesTheServiceStateAlone) {
    ASSERT_TRUE(block_.Publish(7));
    Ticks(3);
    EXPECT_TRUE(TrayRecorder::calls.empty());
    EXPECT_EQ(0, frame_->iconAdded);
    EXPECT_EQ(7u, frame_->statusSnapshot.statusWord);

    ASSERT_TRUE(block_.SetStatusWord(1));
    Tick();
    ASSERT_EQ(1u, TrayRecorder::calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), TrayRecorder::calls[0].action);
    EXPECT_EQ("AC Fail Battery Normal", TrayRecorder::calls[0].tip);

    frame_->agentRunning = 0;  // as a service command would have stored it since
    ASSERT_TRUE(block_.SetStatusWord(9));
    Ticks(2);
    EXPECT_EQ(1u, TrayRecorder::calls.size());
    EXPECT_EQ(0, frame_->agentRunning);
    EXPECT_EQ(1, frame_->iconAdded);
    EXPECT_EQ(9u, frame_->statusSnapshot.statusWord);
}

TEST_F(TrayRefresh, TaskbarCreatedMakesTheNextTickAddTheIconAgain) {
    ASSERT_TRUE(block_.Publish(4));
    Ticks(2);
    SendRegistered("TaskbarCreated");
    // A shell that still has the icon would refuse a second add forever;
    // removing it first makes the add succeed in either case.
    ASSERT_EQ(3u, TrayRecorder::calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), TrayRecorder::calls[2].action);
    Ticks(2);
    ASSERT_EQ(5u, TrayRecorder::calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), TrayRecorder::calls[3].action);
    EXPECT_EQ("Communication lost", TrayRecorder::calls[3].tip);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), TrayRecorder::calls[4].action);
}

// Exit by the Close command's WM_CLOSE or by the broadcast "Exit", with a
// last word that sent nothing on its tick.
enum class Trigger { Close, ExitBroadcast };

class TrayRemoval : public AgentWindowTest, public ::testing::WithParamInterface<Trigger> {};

TEST_P(TrayRemoval, ExitDeletesTheIconWhateverTheStatusWord) {
    ASSERT_TRUE(block_.Publish(3));
    Tick();
    ASSERT_TRUE(block_.SetStatusWord(9));
    Tick();
    const int runningBefore = frame_->agentRunning;

    if (GetParam() == Trigger::Close) {
        ::SendMessageA(window_, WM_CLOSE, 0, 0);
        EXPECT_FALSE(WindowAlive());
    } else {
        SendRegistered("Exit");
        ASSERT_TRUE(WindowAlive());
        EXPECT_EQ(runningBefore, frame_->agentRunning);
    }
    ASSERT_EQ(2u, TrayRecorder::calls.size());
    const TrayCall& removal = TrayRecorder::calls.back();
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), removal.action);
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V3_SIZE), removal.cbSize);
    EXPECT_EQ(window_, removal.window);
    EXPECT_EQ(0u, removal.id);

    MSG quit;
    EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the loop must end";
}

INSTANTIATE_TEST_SUITE_P(, TrayRemoval, ::testing::Values(Trigger::Close, Trigger::ExitBroadcast),
                         [](const ::testing::TestParamInfo<Trigger>& info) {
                             return info.param == Trigger::Close ? "Close" : "Exit";
                         });

}  // namespace
}  // namespace status_test
