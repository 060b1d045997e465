#include "tests/e2e/AgentTest.h"

#include <iostream>

#include "tests/support/e2e/Pump.h"
#include "tests/support/e2e/TopLevelWindows.h"

namespace agent_e2e {

namespace {

// Creation events travel to us as messages; give the last ones a moment to
// arrive after the watched process ended. A grace period, not a measurement.
constexpr DWORD kEventSettleMs = 200;

}  // namespace

void AgentTest::SetUp() {
    // A test killed by a timeout cannot end the agent it started.
    const int leftovers = e2e::KillProcessesNamed(kAgentFileName);
    if (leftovers > 0) {
        std::cerr << "note: ended " << leftovers << " agent(s) left by an earlier run\n";
    }
    HWND blocking = FindWindowA(nullptr, kAgentTitle);
    ASSERT_EQ(blocking, nullptr) << "process " << e2e::WindowProcessId(blocking)
                                 << " owns a window titled \"" << e2e::WindowTitle(blocking)
                                 << "\", which keeps any agent from starting";

    folder_ = std::make_unique<e2e::TempFolder>();
    agentPath_ = folder_->CopyIn(e2e::HostPathToWindows(PERIMAND_AGENT_EXE), kAgentFileName);
}

std::string RunningAgent::Missing() {
    if (window) return "";
    const auto exitCode = process.WaitForExit(0);
    if (exitCode) {
        return "the agent ended with code " + std::to_string(*exitCode) +
               " without opening a window titled Orvastel";
    }
    return "the agent still runs but opened no window titled Orvastel";
}

RunningAgent AgentTest::StartAgent() const {
    RunningAgent agent{e2e::Process::Start(agentPath_, "")};
    agent.window = e2e::WaitForWindow({kAgentTitle, "", agent.process.Id()}, kStartWaitMs);
    if (agent.window) {
        // Minimise-then-hide happens after the window exists; a message the
        // agent answers from its loop means start-up is over.
        WaitForInputIdle(agent.process.Handle(), kWaitMs);
        e2e::SendWithTimeout(agent.window, WM_NULL, 0, 0, kWaitMs);
    }
    return agent;
}

Finished AgentTest::RunToEnd(const std::string& tail) const {
    e2e::Process process = e2e::Process::Start(agentPath_, tail, /*suspended=*/true);
    e2e::WindowCreationWatch watch(process.Id());
    EXPECT_TRUE(watch.Attached()) << "cannot watch the windows of the new process";
    process.Resume();
    Finished finished;
    finished.exitCode = process.WaitForExit(kStartWaitMs);
    e2e::PumpFor(kEventSettleMs);
    finished.createdWindows = watch.Created();
    return finished;
}

}  // namespace agent_e2e
