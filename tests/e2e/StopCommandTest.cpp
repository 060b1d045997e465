// The command line "stop" (any case, after any blanks) tells a running agent
// to quit and never makes the stopping process an agent; anything more or
// less than that word starts an ordinary agent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e/AgentTest.h"
#include "tests/support/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

using ::testing::IsEmpty;

class StopCommand : public AgentTest {};

TEST_F(StopCommand, WithNoAgentRunningEndsWithZeroAndCreatesNoWindow) {
    const Finished stop = RunToEnd(" stop");

    ASSERT_TRUE(stop.exitCode) << "the stop process did not end";
    EXPECT_EQ(*stop.exitCode, 0u);
    EXPECT_THAT(stop.createdWindows, IsEmpty());
    EXPECT_EQ(FindWindowA(nullptr, kAgentTitle), nullptr);
}

// The word is compared without regard to case, and every byte up to 32
// before it is skipped.
TEST_F(StopCommand, AnySpellingOfTheWordEndsTheRunningAgentWithZero) {
    for (const char* tail : {" stop", " STOP", " sToP", " \t \tstop"}) {
        SCOPED_TRACE(testing::Message() << "tail \"" << tail << "\"");
        RunningAgent agent = StartAgent();
        ASSERT_TRUE(agent.window) << agent.Missing();

        const Finished stop = RunToEnd(tail);

        ASSERT_TRUE(stop.exitCode) << "the stop process did not end";
        EXPECT_EQ(*stop.exitCode, 0u);
        EXPECT_THAT(stop.createdWindows, IsEmpty());
        const auto agentExit = agent.process.WaitForExit(kWaitMs);
        ASSERT_TRUE(agentExit) << "the agent kept running";
        EXPECT_EQ(*agentExit, 0u);
        EXPECT_TRUE(e2e::WaitForWindowGone(agent.window, kWaitMs));
    }
}

// More than the word, or the word dressed up, is an ordinary start: beside
// a running agent it ends at once and leaves that agent running.
TEST_F(StopCommand, AnythingElseLeavesTheRunningAgentAlone) {
    RunningAgent agent = StartAgent();
    ASSERT_TRUE(agent.window) << agent.Missing();
    for (const char* tail : {" stop ", " -stop", " \"stop\"", " stop now"}) {
        SCOPED_TRACE(testing::Message() << "tail \"" << tail << "\"");
        const Finished second = RunToEnd(tail);

        ASSERT_TRUE(second.exitCode) << "the second start did not end";
        EXPECT_EQ(*second.exitCode, 0u);
        EXPECT_THAT(second.createdWindows, IsEmpty());
        EXPECT_TRUE(agent.process.IsRunning()) << "it stopped the agent";
        EXPECT_TRUE(IsWindow(agent.window));
    }
}

}  // namespace
}  // namespace agent_e2e
