// The agent window as other programs see it: its title is the marker a
// second start looks for, it stays hidden and disabled, its class draws
// nothing, and it ends the agent with code 0 on the registered "Exit"
// message and on WM_CLOSE.
#include <gtest/gtest.h>

#include "tests/e2e/AgentTest.h"
#include "tests/support/e2e/TopLevelWindows.h"
#include "tests/support/e2e/WindowProbe.h"

namespace agent_e2e {
namespace {

class AgentWindow : public AgentTest {};

TEST_F(AgentWindow, IsTitledOrvastelMinimisedHiddenDisabledAndOfAClassThatDrawsNothing) {
    RunningAgent agent = StartAgent();
    ASSERT_TRUE(agent.window) << agent.Missing();

    EXPECT_EQ(e2e::WindowTitle(agent.window), kAgentTitle);
    // Wine adds WS_CLIPSIBLINGS to every top-level window.
    const DWORD style = static_cast<DWORD>(GetWindowLongA(agent.window, GWL_STYLE));
    EXPECT_EQ(style & ~DWORD{WS_CLIPSIBLINGS}, DWORD{WS_POPUP | WS_DISABLED | WS_MINIMIZE})
        << std::hex << "style 0x" << style;
    EXPECT_FALSE(IsWindowVisible(agent.window));
    EXPECT_TRUE(IsIconic(agent.window));

    // Its class draws nothing.
    const auto report = e2e::ProbeWindow(agent.window);

    ASSERT_TRUE(report) << "the probe inside the agent did not answer";
    EXPECT_STREQ(report->title, kAgentTitle);  // the answer really came from the agent window
    EXPECT_EQ(report->classIcon, 0u);
    EXPECT_EQ(report->classIconSmall, 0u);
    EXPECT_EQ(report->classCursor, 0u);
    EXPECT_EQ(report->classBrush, 0u);
    EXPECT_EQ(report->classStyle, 0u);
}

TEST_F(AgentWindow, ExitOrCloseEndsTheAgentWithZero) {
    enum class Trigger { PostedExit, BroadcastExit, PostedClose, SentClose };
    for (Trigger trigger : {Trigger::PostedExit, Trigger::BroadcastExit, Trigger::PostedClose, Trigger::SentClose}) {
        SCOPED_TRACE(static_cast<int>(trigger));
        RunningAgent agent = StartAgent();
        ASSERT_TRUE(agent.window) << agent.Missing();

        if (trigger == Trigger::SentClose) {
            // Returns once the agent handled it; the process ends after.
            e2e::SendWithTimeout(agent.window, WM_CLOSE, 0, 0, kWaitMs);
        } else {
            const HWND target = trigger == Trigger::BroadcastExit ? HWND_BROADCAST : agent.window;
            const UINT message = trigger == Trigger::PostedClose ? UINT{WM_CLOSE} : e2e::ExitMessage();
            ASSERT_TRUE(PostMessageA(target, message, 0, 0));
        }

        const auto exitCode = agent.process.WaitForExit(kWaitMs);
        ASSERT_TRUE(exitCode) << "the agent kept running";
        EXPECT_EQ(*exitCode, 0u);
        EXPECT_TRUE(e2e::WaitForWindowGone(agent.window, kWaitMs));
    }
}

}  // namespace
}  // namespace agent_e2e
