// The agent window as other programs see it: its title is the marker a
// second start looks for, it stays hidden and disabled, its class draws
// nothing, and it ends the agent with code 0 on the registered "Exit"
// message and on WM_CLOSE.
#include <gtest/gtest.h>

#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

using AgentWindow = EndToEnd;

TEST_F(AgentWindow, IsTitledOrvastelMinimisedHiddenDisabledAndOfAClassThatDrawsNothing) {
    ASSERT_TRUE(agent_.Start());
    HWND const window = agent_.Window();

    EXPECT_EQ(e2e::WindowTitle(window), kAgentWindowTitle);
    // Wine adds WS_CLIPSIBLINGS to every top-level window.
    DWORD const style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & ~DWORD{WS_CLIPSIBLINGS}, DWORD{WS_POPUP | WS_DISABLED | WS_MINIMIZE})
        << std::hex << "style 0x" << style;
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsIconic(window));

    // Its class draws nothing.
    auto const report = e2e::AskProbe<e2e::WindowReport>(window);

    ASSERT_TRUE(report) << "the probe inside the agent did not answer";
    EXPECT_STREQ(report->title, kAgentWindowTitle);  // the answer really came from the agent window
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
        ASSERT_TRUE(agent_.Start());
        HWND const window = agent_.Window();

        if (trigger == Trigger::SentClose) {
            // Returns once the agent handled it; the process ends after.
            e2e::SendWithTimeout(window, WM_CLOSE, 0, 0, kWaitMs);
        } else {
            HWND const target = trigger == Trigger::BroadcastExit ? HWND_BROADCAST : window;
            UINT const message = trigger == Trigger::PostedClose ? UINT{WM_CLOSE} : e2e::ExitMessage();
            ASSERT_TRUE(PostMessageA(target, message, 0, 0));
        }

        EXPECT_EQ(std::optional<DWORD>(0), agent_.WaitForExit()) << "the agent kept running or failed";
        EXPECT_TRUE(e2e::WaitForWindowGone(window, kWaitMs));
    }
}

}  // namespace
}  // namespace agent_e2e
