// The poll against real named objects: every state the monitoring side can
// leave the block in, and nothing left behind after thousands of ticks.
#include "tests/integration/agent/AgentWindowFixture.h"

#include <thread>

#include "contract/StatusBlockReader.h"
#include "frame/StatusPoll.h"
#include "res/resource.h"
#include "tests/integration/agent/ProcessResources.h"
#include "win32/UniqueHandle.h"

namespace status_test {
namespace {

using StatusPoll = AgentWindowTest;

// Longer than the ten ticks of five 100 ms waits (and one more read) that
// turn a held mutex into "Communication lost", with room to spare.
constexpr DWORD kLongHoldMs = 9000;

void ExpectRead(std::uint32_t word0, std::uint32_t statusWord, std::uint32_t word2) {
    StatusBlockRead read = ReadStatusBlock();
    ASSERT_EQ(StatusBlockRead::kRead, read.outcome);
    EXPECT_EQ(word0, read.words.word0);
    EXPECT_EQ(statusWord, read.words.statusWord);
    EXPECT_EQ(word2, read.words.word2);
}

// Whether another thread can take the block's mutex at once: the poll must
// never keep it past its tick, nor hold it while it calls the shell.
bool MutexFreeForOthers() {
    bool free = false;
    std::thread other([&free] {
        UniqueKernelHandle mutex(::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kStatusMutexName));
        if (!mutex) return;
        DWORD result = ::WaitForSingleObject(mutex.get(), 0);
        free = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        if (free) ::ReleaseMutex(mutex.get());
    });
    other.join();
    return free;
}

// Absent, mapping only, mutex only: each counts as no block at all, and the
// tick shows "Agent Stop" whatever it showed before, then ends there.
TEST_F(StatusPoll, IncompleteBlockIsReportedMissingAndShowsAgentStop) {
    for (int part = 0; part < 3; ++part) {
        SCOPED_TRACE(part);
        block_.Clear();
        ASSERT_TRUE(block_.Publish(StatusSnapshot{5, 3, 7}));
        Tick();
        block_.Clear();
        if (part == 1) {
            ASSERT_TRUE(block_.PublishMappingOnly(StatusSnapshot{1, 3, 2}));
        } else if (part == 2) {
            ASSERT_TRUE(block_.PublishMutexOnly());
        }
        EXPECT_EQ(StatusBlockRead::kMissing, ReadStatusBlock().outcome);
        int const passedOn = frame_->ticksPassedOn;
        EXPECT_EQ(1, Tick());
        EXPECT_EQ(passedOn, frame_->ticksPassedOn) << "a tick without a block ends in the agent";
        ASSERT_FALSE(tray_.calls.empty());
        EXPECT_EQ(Tip(IDS_AGENT_STOP), tray_.calls.back().tip);
        EXPECT_TRUE(StartOffered());
    }
}

TEST_F(StatusPoll, StatusWordThreeIsReadWithBothNeighboursAndShownAfterTheMutexIsReleased) {
    ASSERT_TRUE(block_.Publish(StatusSnapshot{0xA1B2C3D4u, 3, 0x01020304u}));
    std::vector<bool> freeDuringCall;
    tray_.duringCall = [&freeDuringCall] { freeDuringCall.push_back(MutexFreeForOthers()); };
    ExpectRead(0xA1B2C3D4u, 3, 0x01020304u);
    EXPECT_EQ(0, Tick());
    EXPECT_EQ(std::vector<bool>{true}, freeDuringCall);
    ASSERT_EQ(1u, tray_.calls.size());
    EXPECT_EQ(OwnIcon(IDI_ON_LINE), tray_.calls[0].icon);
    EXPECT_EQ(Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), tray_.calls[0].tip);
    EXPECT_TRUE(MutexFreeForOthers());
}

// Somebody keeps the mutex through all five waits of every tick: nine such
// ticks change neither the snapshot nor the tray, the tenth shows word 4
// instead of the last word read, and the first free tick reads again.
TEST_F(StatusPoll, MutexHeldForTenTicksShowsCommunicationLostUntilItIsFree) {
    ASSERT_TRUE(block_.Publish(StatusSnapshot{11, 3, 22}));
    ASSERT_EQ(0, Tick());
    ASSERT_TRUE(block_.HoldMutexInThread(kLongHoldMs));
    ASSERT_TRUE(block_.SetWordsIgnoringMutex(StatusSnapshot{33, 1, 44}));

    for (int tick = 1; tick < kBusyTicksUntilCommunicationLost; ++tick) {
        EXPECT_EQ(0, Tick()) << "a held mutex is no missing block";
    }
    EXPECT_EQ(1u, tray_.calls.size());
    EXPECT_EQ(StatusBlockRead::kBusy, ReadStatusBlock().outcome) << "the hold ended too soon";
    EXPECT_EQ(0, Tick());
    ASSERT_EQ(2u, tray_.calls.size());
    EXPECT_EQ(OwnIcon(IDI_COMMUNICATION_LOST), tray_.calls[1].icon);
    EXPECT_EQ(Tip(IDS_COMMUNICATION_LOST), tray_.calls[1].tip);

    block_.WaitForHolds();
    ExpectRead(33, 1, 44);
    EXPECT_EQ(0, Tick());
    ASSERT_EQ(3u, tray_.calls.size());
    EXPECT_EQ(Tip(IDS_AC_FAIL, IDS_BATTERY_NORMAL), tray_.calls[2].tip);
}

// A writer that died holding the mutex: the next tick takes it, reads the
// block and gives the mutex back.
TEST_F(StatusPoll, AbandonedMutexIsTakenAndRead) {
    ASSERT_TRUE(block_.Publish(StatusSnapshot{5, 4, 6}));
    ASSERT_TRUE(block_.AbandonMutex());
    EXPECT_EQ(0, Tick());
    ASSERT_EQ(1u, tray_.calls.size());
    EXPECT_EQ(Tip(IDS_COMMUNICATION_LOST), tray_.calls[0].tip);
    EXPECT_TRUE(MutexFreeForOthers());
}

TEST_F(StatusPoll, ThousandsOfTicksLeaveNoHandleViewOrWindowObjectBehind) {
    constexpr int kWarmUpTicks = 20;
    constexpr int kTicks = 3000;
    for (bool present : {false, true}) {
        SCOPED_TRACE(present ? "block present" : "block absent");
        if (present) {
            ASSERT_TRUE(block_.Publish(3));
        }
        Ticks(kWarmUpTicks);

        size_t const handles = OpenHandleCount();
        size_t const views = MappedViewCount();
        DWORD const userObjects = UserObjectCount();
        DWORD const gdiObjects = GdiObjectCount();
        ASSERT_GT(handles, 0u);
        Ticks(kTicks);

        EXPECT_EQ(handles, OpenHandleCount());
        EXPECT_EQ(views, MappedViewCount());
        EXPECT_EQ(userObjects, UserObjectCount());
        EXPECT_EQ(gdiObjects, GdiObjectCount());
        if (present) {
            EXPECT_TRUE(MutexFreeForOthers());
        }
    }
}

}  // namespace
}  // namespace status_test
