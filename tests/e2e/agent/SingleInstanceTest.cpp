// One agent per session: a start that finds a top-level window titled
// "Orvastel" (any class, any case, any owner) ends at once and touches
// nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using SingleInstance = EndToEnd;

TEST_F(SingleInstance, SecondStartEndsAtOnceAndLeavesTheFirstUntouched) {
    ASSERT_TRUE(agent_.Start());
    LONG const styleBefore = GetWindowLongA(agent_.Window(), GWL_STYLE);

    e2e::Finished const second = agent_.RunToEnd("");

    EXPECT_EQ(std::optional<DWORD>(0), second.exitCode) << "the second agent did not end, or failed";
    EXPECT_THAT(second.createdWindows, IsEmpty());
    EXPECT_TRUE(agent_.IsRunning());
    EXPECT_THAT(e2e::FindTopLevelWindows({kAgentWindowTitle, "", agent_.Running().Id()}),
                ElementsAre(agent_.Window()));
    EXPECT_EQ(GetWindowLongA(agent_.Window(), GWL_STYLE), styleBefore);
}

TEST_F(SingleInstance, ForeignWindowTitledInAnyCaseKeepsTheAgentFromStarting) {
    for (char const* title : {"ORVASTEL", "orvastel", "Orvastel"}) {
        SCOPED_TRACE(title);
        e2e::TestWindow foreign(title);

        e2e::Finished const start = agent_.RunToEnd("");

        EXPECT_EQ(std::optional<DWORD>(0), start.exitCode) << "the agent started beside the window, or failed";
        EXPECT_THAT(start.createdWindows, IsEmpty());
        EXPECT_TRUE(IsWindow(foreign.get()));
    }
}

}  // namespace
}  // namespace agent_e2e
