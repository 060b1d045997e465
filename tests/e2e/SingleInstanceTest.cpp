// One agent per session: a start that finds a top-level window titled
// "Orvastel" (any class, any case, any owner) ends at once and touches
// nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e/AgentTest.h"
#include "tests/support/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SingleInstance : public AgentTest {};

TEST_F(SingleInstance, SecondStartEndsAtOnceAndLeavesTheFirstUntouched) {
    RunningAgent first = StartAgent();
    ASSERT_TRUE(first.window) << first.Missing();
    const LONG styleBefore = GetWindowLongA(first.window, GWL_STYLE);

    const Finished second = RunToEnd("");

    ASSERT_TRUE(second.exitCode) << "the second agent did not end";
    EXPECT_EQ(*second.exitCode, 0u);
    EXPECT_THAT(second.createdWindows, IsEmpty());
    EXPECT_TRUE(first.process.IsRunning());
    EXPECT_THAT(e2e::FindTopLevelWindows({kAgentTitle, "", first.process.Id()}),
                ElementsAre(first.window));
    EXPECT_EQ(GetWindowLongA(first.window, GWL_STYLE), styleBefore);
}

TEST_F(SingleInstance, ForeignWindowTitledInAnyCaseKeepsTheAgentFromStarting) {
    for (const char* title : {"ORVASTEL", "orvastel", "Orvastel"}) {
        SCOPED_TRACE(title);
        e2e::TestWindow foreign(title);

        const Finished start = RunToEnd("");

        ASSERT_TRUE(start.exitCode) << "the agent started beside the window";
        EXPECT_EQ(*start.exitCode, 0u);
        EXPECT_THAT(start.createdWindows, IsEmpty());
        EXPECT_TRUE(IsWindow(foreign.get()));
    }
}

}  // namespace
}  // namespace agent_e2e
