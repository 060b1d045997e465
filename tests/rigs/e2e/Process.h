// Programs started by a test: watched from outside while they run, or run
// to their end with their output caught.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "win32/UniqueHandle.h"

namespace e2e {

// How Process::Start starts a program.
struct Launch {
    // Lets a watcher attach before the program runs; call Resume() then.
    bool suspended = false;
    // Where its standard output and error go (inheritable handles), for
    // a console program; by default nowhere.
    HANDLE output = nullptr;
    HANDLE error = nullptr;
    HANDLE input = nullptr;  // its standard input (inheritable); by default nothing
};

// The destructor ends the process if it still runs, so a failed assertion
// never leaves a program behind for the next test.
class Process {
public:
    // Starts `program` with the command line `"<program>"` followed by `tail`
    // exactly as given, blanks and quotes included: what the program sees of
    // its command line is what many tests are about. The child gets none of
    // the test's standard handles unless given, so it cannot keep a test
    // runner's output pipe open. Throws std::runtime_error on failure.
    static Process Start(std::string const& program, std::string const& tail, Launch const& how = {});

    Process(Process&&) noexcept = default;
    Process& operator=(Process&& other) noexcept;  // ends the process held before
    ~Process();

    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_.get(); }

    void Resume();

    // The exit code once the process has ended, or nothing while it still
    // runs after `timeoutMs`. Dispatches this thread's messages meanwhile.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs);

    bool IsRunning() const;

    // Ends the process at once and waits for it to be gone.
    void Kill();

private:
    Process(UniqueKernelHandle process, UniqueKernelHandle thread, DWORD id);

    UniqueKernelHandle process_;
    UniqueKernelHandle thread_;
    DWORD id_ = 0;
};

// Ends every running process whose executable file is named `fileName`
// (compared without regard to case), other than this one. Returns how many
// it ended. For clearing what a crashed earlier run left in the session.
int KillProcessesNamed(std::string const& fileName);

struct RunResult {
    bool finished = false;  // false: still running after the timeout (then ended)
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` (after one blank) to its end, at most
// `timeoutMs`, with its output caught in files: not pipes, since a pipe held
// open by some grandchild would never report its end. Throws
// std::runtime_error when it cannot be started. `input`, when not empty, is
// what it reads from its standard input.
RunResult RunProgram(std::string const& program, std::string const& arguments, DWORD timeoutMs,
                     std::string const& input = std::string());

}  // namespace e2e
