// Runs another program to its end with its output caught in files (not
// pipes: a pipe held open by some grandchild would never report its end).
#pragma once

#include <windows.h>

#include <string>

namespace perimand_test {

struct RunResult {
    bool started = false;
    bool finished = false;  // false: still running after the timeout (then killed)
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

// `commandLine` in Windows form; runs it at most `timeoutMs`.
RunResult RunProgram(std::string const& commandLine, DWORD timeoutMs);

// "\"path\" arg arg" with the path quoted.
std::string CommandLine(std::string const& program, std::string const& arguments);

}  // namespace perimand_test
