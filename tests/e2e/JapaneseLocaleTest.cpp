// The agent under a Japanese user: it runs in code page 932 and still obeys
// "stop". Registered to run only under the Japanese locale (ja. prefix).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e/AgentTest.h"
#include "tests/support/e2e/TopLevelWindows.h"
#include "tests/support/e2e/WindowProbe.h"

namespace agent_e2e {
namespace {

using ::testing::IsEmpty;

constexpr UINT kJapaneseCodePage = 932;
constexpr std::uint32_t kJapaneseLanguage = 0x0411;

class JapaneseLocale : public AgentTest {};

TEST_F(JapaneseLocale, AgentRunsInCodePage932AndObeysStop) {
    // Without the generated locale Wine quietly runs in English.
    ASSERT_EQ(GetACP(), kJapaneseCodePage) << "the Japanese locale is not in effect";

    RunningAgent agent = StartAgent();
    ASSERT_TRUE(agent.window) << agent.Missing();
    const auto report = e2e::ProbeWindow(agent.window);
    ASSERT_TRUE(report) << "the probe inside the agent did not answer";
    EXPECT_EQ(report->codePage, kJapaneseCodePage);
    EXPECT_EQ(report->uiLanguage, kJapaneseLanguage);
    EXPECT_STREQ(report->title, kAgentTitle);

    const Finished stop = RunToEnd(" stop");

    ASSERT_TRUE(stop.exitCode) << "the stop process did not end";
    EXPECT_EQ(*stop.exitCode, 0u);
    EXPECT_THAT(stop.createdWindows, IsEmpty());
    const auto agentExit = agent.process.WaitForExit(kWaitMs);
    ASSERT_TRUE(agentExit) << "the agent kept running after \"stop\"";
    EXPECT_EQ(*agentExit, 0u);
}

}  // namespace
}  // namespace agent_e2e
