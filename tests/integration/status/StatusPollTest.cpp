// The poll against real named objects: every state the monitoring side can
// leave the block in, and nothing left behind after thousands of ticks.
#include "tests/integration/status/AgentWindowFixture.h"

#include <thread>

#include "common/UniqueHandle.h"
#include "tests/integration/status/ProcessResources.h"
#include "res/resource.h"

namespace status_test {
namespace {

using StatusPoll = AgentWindowTest;

// Longer than the poll's five 100 ms waits with room to spare.
constexpr DWORD kHoldMs = 2500;

void ExpectSnapshot(const StatusSnapshot& snapshot, std::uint32_t word0, std::uint32_t statusWord,
                    std::uint32_t word2) {
    EXPECT_EQ(word0, snapshot.word0);
    EXPECT_EQ(statusWord, snapshot.statusWord);
    EXPECT_EQ(word2, snapshot.word2);
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

// Absent, mapping only, mutex only: each counts as no block at all.
TEST_F(StatusPoll, IncompleteBlockZeroesTheSnapshotAndIsReportedMissing) {
    for (int part = 0; part < 3; ++part) {
        SCOPED_TRACE(part);
        block_.Clear();
        if (part == 1) {
            ASSERT_TRUE(block_.PublishMappingOnly(StatusSnapshot{1, 3, 2}));
        } else if (part == 2) {
            ASSERT_TRUE(block_.PublishMutexOnly());
        }
        frame_->statusSnapshot = StatusSnapshot{5, 3, 7};
        EXPECT_TRUE(frame_->PollStatus());
        ExpectSnapshot(frame_->statusSnapshot, 0, 0, 0);
        ASSERT_FALSE(TrayRecorder::calls.empty());
        EXPECT_EQ("Agent Stop", TrayRecorder::calls.back().tip);
    }
}

TEST_F(StatusPoll, StatusWordThreeIsReadWithBothNeighboursAndShownAfterTheMutexIsReleased) {
    ASSERT_TRUE(block_.Publish(StatusSnapshot{0xA1B2C3D4u, 3, 0x01020304u}));
    std::vector<bool> freeDuringCall;
    TrayRecorder::duringCall = [&freeDuringCall] { freeDuringCall.push_back(MutexFreeForOthers()); };
    EXPECT_FALSE(frame_->PollStatus());
    EXPECT_EQ(std::vector<bool>{true}, freeDuringCall);
    ExpectSnapshot(frame_->statusSnapshot, 0xA1B2C3D4u, 3, 0x01020304u);
    ASSERT_EQ(1u, TrayRecorder::calls.size());
    EXPECT_EQ(OwnIcon(IDI_ON_LINE), TrayRecorder::calls[0].icon);
    EXPECT_EQ("On Line Battery Normal", TrayRecorder::calls[0].tip);
    EXPECT_TRUE(MutexFreeForOthers());
}

// The writer keeps the mutex through all five waits: the tick changes
// neither the snapshot nor the tray, and the next free tick reads again.
TEST_F(StatusPoll, MutexHeldThroughAllFiveWaitsChangesNothing) {
    ASSERT_TRUE(block_.Publish(StatusSnapshot{11, 3, 22}));
    ASSERT_FALSE(frame_->PollStatus());
    ASSERT_TRUE(block_.HoldMutexInThread(kHoldMs));
    ASSERT_TRUE(block_.SetWordsIgnoringMutex(StatusSnapshot{33, 1, 44}));

    EXPECT_FALSE(frame_->PollStatus()) << "a held mutex is no missing block";
    ExpectSnapshot(frame_->statusSnapshot, 11, 3, 22);
    EXPECT_EQ(1u, TrayRecorder::calls.size());

    block_.WaitForHolds();
    EXPECT_FALSE(frame_->PollStatus());
    ExpectSnapshot(frame_->statusSnapshot, 33, 1, 44);
    ASSERT_EQ(2u, TrayRecorder::calls.size());
    EXPECT_EQ("AC Fail Battery Normal", TrayRecorder::calls[1].tip);
}

// A writer that died holding the mutex: the next tick takes it, reads the
// block and gives the mutex back.
TEST_F(StatusPoll, AbandonedMutexIsTakenAndRead) {
    ASSERT_TRUE(block_.Publish(StatusSnapshot{5, 4, 6}));
    ASSERT_TRUE(block_.AbandonMutex());
    EXPECT_FALSE(frame_->PollStatus());
    ExpectSnapshot(frame_->statusSnapshot, 5, 4, 6);
    ASSERT_EQ(1u, TrayRecorder::calls.size());
    EXPECT_EQ("Communication lost", TrayRecorder::calls[0].tip);
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

        const size_t handles = OpenHandleCount();
        const size_t views = MappedViewCount();
        const DWORD userObjects = UserObjectCount();
        const DWORD gdiObjects = GdiObjectCount();
        ASSERT_GT(handles, 0u);
        for (int i = 0; i < kTicks; ++i) frame_->PollStatus();

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
