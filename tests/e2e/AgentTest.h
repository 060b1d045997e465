// Fixture for tests that run the built agent as a user or another program
// would, and watch it from outside.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e/Process.h"
#include "tests/support/e2e/TempFolder.h"

namespace agent_e2e {

constexpr char kAgentTitle[] = "Orvastel";
constexpr char kAgentFileName[] = "Perimand.exe";
// A wait ends as soon as what it waits for happens; these only bound a
// failure. Starting a process under Wine on a busy machine can take seconds.
constexpr DWORD kWaitMs = 10000;
constexpr DWORD kStartWaitMs = 30000;

struct RunningAgent {
    e2e::Process process;
    HWND window = nullptr;  // nullptr when no agent window appeared

    // Why there is no window, for the failure message.
    std::string Missing();
};

struct Finished {
    std::optional<DWORD> exitCode;            // nothing: it was still running
    std::vector<std::string> createdWindows;  // class names, as seen from outside
};

// Every test gets a folder of its own holding a copy of the agent (the
// folder's name has a blank, so the program name on every command line
// needs its quotes), and starts with no agent running in the Wine session.
class AgentTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Starts an agent and waits until its window exists and its message
    // loop runs, so what a test then sees is no longer start-up in progress.
    RunningAgent StartAgent() const;

    // Runs a start with `tail` appended to the agent's quoted path that is
    // expected to end by itself, watching every window it creates from its
    // very first instruction.
    Finished RunToEnd(const std::string& tail) const;

private:
    std::unique_ptr<e2e::TempFolder> folder_;
    std::string agentPath_;
};

}  // namespace agent_e2e
