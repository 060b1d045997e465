// The tray as the agent window drives it tick by tick, seen through the
// notification-area seam, with a real status block behind every tick.
#include "tests/integration/agent/AgentWindowFixture.h"

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

Shown const kShown[] = {
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

std::string OwnTip(Shown const& shown) {
    std::string tip = OwnString(shown.firstText);
    if (shown.secondText != 0) tip += " " + OwnString(shown.secondText);
    return tip;
}

TEST_F(TrayRefresh, FirstTickAddsTheIconAndLaterTicksModifyIt) {
    ASSERT_TRUE(block_.Publish(3));
    Tick();
    ASSERT_EQ(1u, tray_.calls.size());
    TrayCall const& add = tray_.calls[0];
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), add.action);
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V3_SIZE), add.cbSize);
    EXPECT_EQ(window_, add.window);
    EXPECT_EQ(0u, add.id);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), add.flags);
    EXPECT_EQ(WM_TRAYNOTIFY, add.callbackMessage);
    EXPECT_EQ(OwnIcon(IDI_ON_LINE), add.icon);
    EXPECT_EQ(Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), add.tip);

    EXPECT_EQ(1, frame_->ticksPassedOn);  // a tick with the block present goes on to the framework

    // A refused modification is not retried as an add.
    tray_.answer = FALSE;
    Ticks(2);
    ASSERT_EQ(3u, tray_.calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), tray_.calls[1].action);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), tray_.calls[2].action);
    EXPECT_EQ(Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), tray_.calls[2].tip);
}

// A shell that timed out on the add but kept the icon accepts a modify:
// the icon counts as added and is never added again.
TEST_F(TrayRefresh, RefusedAddThatAModifyConfirmsCountsAsAdded) {
    ASSERT_TRUE(block_.Publish(3));
    int call = 0;
    tray_.duringCall = [&] { tray_.answer = ++call > 1 ? TRUE : FALSE; };
    Tick();
    ASSERT_TRUE(block_.SetStatusWord(1));
    Tick();
    ASSERT_EQ(3u, tray_.calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), tray_.calls[0].action);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), tray_.calls[1].action);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), tray_.calls[2].action);
    EXPECT_EQ(Tip(IDS_AC_FAIL, IDS_BATTERY_NORMAL), tray_.calls[2].tip);
}

TEST_F(TrayRefresh, EachStatusWordShowsItsIconTooltipAndServiceState) {
    ASSERT_TRUE(block_.Publish(0));
    for (Shown const& shown : kShown) {
        SCOPED_TRACE(shown.statusWord);
        ASSERT_TRUE(block_.SetStatusWord(shown.statusWord));
        tray_.calls.clear();
        Tick();
        ASSERT_EQ(1u, tray_.calls.size());
        EXPECT_EQ(OwnIcon(shown.iconId), tray_.calls[0].icon);
        EXPECT_EQ(OwnTip(shown), tray_.calls[0].tip);
        EXPECT_EQ(shown.agentRunning == 0, StartOffered());
    }
}

TEST_F(TrayRefresh, OnlyThePollTimerPollsAndAnAbsentBlockStopsTheTickThere) {
    ::SendMessageA(window_, WM_TIMER, kPollTimerId + 1, 0);
    EXPECT_TRUE(tray_.calls.empty());
    EXPECT_EQ(1, frame_->ticksPassedOn);

    EXPECT_EQ(1, Tick());
    EXPECT_EQ(1, frame_->ticksPassedOn);
    ASSERT_EQ(1u, tray_.calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), tray_.calls[0].action);
    EXPECT_EQ(OwnIcon(IDI_AGENT_STOP), tray_.calls[0].icon);
    EXPECT_EQ(Tip(IDS_AGENT_STOP), tray_.calls[0].tip);
    EXPECT_TRUE(StartOffered());
}

TEST_F(TrayRefresh, UnknownWordShowsNothingAndLeavesTheServiceStateAlone) {
    ASSERT_TRUE(block_.Publish(7));
    Ticks(3);
    EXPECT_TRUE(tray_.calls.empty());

    ASSERT_TRUE(block_.SetStatusWord(1));
    Tick();
    ASSERT_EQ(1u, tray_.calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), tray_.calls[0].action);
    EXPECT_EQ(Tip(IDS_AC_FAIL, IDS_BATTERY_NORMAL), tray_.calls[0].tip);

    EXPECT_FALSE(StartOffered());
    ASSERT_TRUE(block_.SetStatusWord(9));
    Ticks(2);
    EXPECT_EQ(1u, tray_.calls.size());
    EXPECT_FALSE(StartOffered()) << "word 9 changed what the menu offers";
    ASSERT_TRUE(block_.SetStatusWord(4));
    Tick();
    ASSERT_EQ(2u, tray_.calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), tray_.calls[1].action) << "the icon was added already";
}

TEST_F(TrayRefresh, TaskbarCreatedMakesTheNextTickAddTheIconAgain) {
    ASSERT_TRUE(block_.Publish(4));
    Ticks(2);
    SendRegistered("TaskbarCreated");
    // A shell that still has the icon would refuse a second add forever;
    // removing it first makes the add succeed in either case.
    ASSERT_EQ(3u, tray_.calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), tray_.calls[2].action);
    Ticks(2);
    ASSERT_EQ(5u, tray_.calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), tray_.calls[3].action);
    EXPECT_EQ(Tip(IDS_COMMUNICATION_LOST), tray_.calls[3].tip);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), tray_.calls[4].action);
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
    bool const startOfferedBefore = StartOffered();

    if (GetParam() == Trigger::Close) {
        ::SendMessageA(window_, WM_CLOSE, 0, 0);
        EXPECT_FALSE(WindowAlive());
    } else {
        SendRegistered("Exit");
        ASSERT_TRUE(WindowAlive());
        EXPECT_EQ(startOfferedBefore, StartOffered());
    }
    ASSERT_EQ(2u, tray_.calls.size());
    TrayCall const& removal = tray_.calls.back();
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), removal.action);
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V3_SIZE), removal.cbSize);
    EXPECT_EQ(window_, removal.window);
    EXPECT_EQ(0u, removal.id);

    MSG quit;
    EXPECT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the loop must end";
}

INSTANTIATE_TEST_SUITE_P(, TrayRemoval, ::testing::Values(Trigger::Close, Trigger::ExitBroadcast),
                         [](::testing::TestParamInfo<Trigger> const& info) {
                             return info.param == Trigger::Close ? "Close" : "Exit";
                         });

}  // namespace
}  // namespace status_test
