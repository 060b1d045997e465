// The command line "stop" (any case, after any blanks) tells a running agent
// to quit and never makes the stopping process an agent; anything more or
// less than that word starts an ordinary agent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

using ::testing::IsEmpty;

using StopCommand = EndToEnd;

TEST_F(StopCommand, WithNoAgentRunningEndsWithZeroAndCreatesNoWindow) {
    e2e::Finished const stop = agent_.RunToEnd(" stop");

    EXPECT_EQ(std::optional<DWORD>(0), stop.exitCode) << "the stop process did not end, or failed";
    EXPECT_THAT(stop.createdWindows, IsEmpty());
    EXPECT_EQ(FindWindowA(nullptr, kAgentWindowTitle), nullptr);
}

// The word is compared without regard to case, and every byte up to 32
// before it is skipped.
TEST_F(StopCommand, AnySpellingOfTheWordEndsTheRunningAgentWithZero) {
    for (char const* tail : {" stop", " STOP", " sToP", " \t \tstop"}) {
        SCOPED_TRACE(testing::Message() << "tail \"" << tail << "\"");
        ASSERT_TRUE(agent_.Start());

        e2e::Finished const stop = agent_.RunToEnd(tail);

        EXPECT_EQ(std::optional<DWORD>(0), stop.exitCode) << "the stop process did not end, or failed";
        EXPECT_THAT(stop.createdWindows, IsEmpty());
        EXPECT_EQ(std::optional<DWORD>(0), agent_.WaitForExit()) << "the agent kept running or failed";
        EXPECT_TRUE(e2e::WaitForWindowGone(agent_.Window(), kWaitMs));
    }
}

// More than the word, or the word dressed up, is an ordinary start: beside
// a running agent it ends at once and leaves that agent running.
TEST_F(StopCommand, AnythingElseLeavesTheRunningAgentAlone) {
    ASSERT_TRUE(agent_.Start());
    for (char const* tail : {" stop ", " -stop", " \"stop\"", " stop now"}) {
        SCOPED_TRACE(testing::Message() << "tail \"" << tail << "\"");
        e2e::Finished const second = agent_.RunToEnd(tail);

        EXPECT_EQ(std::optional<DWORD>(0), second.exitCode) << "the second start did not end, or failed";
        EXPECT_THAT(second.createdWindows, IsEmpty());
        EXPECT_TRUE(agent_.IsRunning()) << "it stopped the agent";
        EXPECT_TRUE(IsWindow(agent_.Window()));
    }
}

}  // namespace
}  // namespace agent_e2e
