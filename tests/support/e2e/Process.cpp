#include "tests/support/e2e/Process.h"

#include <tlhelp32.h>

#include <stdexcept>
#include <vector>

#include "tests/support/e2e/Pump.h"

namespace e2e {

namespace {

constexpr DWORD kKillWaitMs = 5000;
constexpr UINT kKilledExitCode = 0xDEAD;

}  // namespace

Process::Process(UniqueKernelHandle process, UniqueKernelHandle thread, DWORD id)
    : process_(std::move(process)), thread_(std::move(thread)), id_(id) {}

Process Process::Start(const std::string& program, const std::string& tail, bool suspended) {
    std::string commandLine = "\"" + program + "\"" + tail;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');

    // No standard handles: Wine then gives the child /dev/null instead of
    // whatever pipe the test runner attached to us.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;

    PROCESS_INFORMATION info{};
    const DWORD flags = suspended ? CREATE_SUSPENDED : 0;
    if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        nullptr, &startup, &info)) {
        throw std::runtime_error("cannot start " + commandLine + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    return Process(UniqueKernelHandle(info.hProcess), UniqueKernelHandle(info.hThread),
                   info.dwProcessId);
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Kill();
        process_ = std::move(other.process_);
        thread_ = std::move(other.thread_);
        id_ = other.id_;
    }
    return *this;
}

Process::~Process() {
    Kill();
}

void Process::Resume() {
    if (thread_) ResumeThread(thread_.get());
}

std::optional<DWORD> Process::WaitForExit(DWORD timeoutMs) {
    if (!process_ || !PumpUntilSignalled(process_.get(), timeoutMs)) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
    return code;
}

bool Process::IsRunning() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
    if (!IsRunning()) return;
    TerminateProcess(process_.get(), kKilledExitCode);
    WaitForSingleObject(process_.get(), kKillWaitMs);
}

int KillProcessesNamed(const std::string& fileName) {
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    int killed = 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId() ||
            lstrcmpiA(entry.szExeFile, fileName.c_str()) != 0) {
            continue;
        }
        UniqueKernelHandle process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process && TerminateProcess(process.get(), kKilledExitCode)) {
            WaitForSingleObject(process.get(), kKillWaitMs);
            ++killed;
        }
    }
    return killed;
}

}  // namespace e2e
