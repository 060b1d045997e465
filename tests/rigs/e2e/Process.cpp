#include "tests/rigs/e2e/Process.h"

#include <tlhelp32.h>

#include <stdexcept>
#include <vector>

#include "tests/rigs/e2e/Pump.h"

namespace e2e {

namespace {

constexpr DWORD kKillWaitMs = 5000;
constexpr UINT kKilledExitCode = 0xDEAD;

// An inheritable temporary file that vanishes when its last handle closes.
UniqueFileHandle CreateCaptureFile() {
    static unsigned counter = 0;
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    std::string const name = std::string(folder) + "perimand-child-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(counter++) + ".txt";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return UniqueFileHandle(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
}

std::string ReadAll(HANDLE file) {
    // The child shared the file position; start over from the beginning.
    LARGE_INTEGER zero{};
    SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read != 0) text.append(buffer, read);
    return text;
}

}  // namespace

Process::Process(UniqueKernelHandle process, UniqueKernelHandle thread, DWORD id)
    : process_(std::move(process)), thread_(std::move(thread)), id_(id) {}

Process Process::Start(std::string const& program, std::string const& tail, Launch const& how) {
    std::string commandLine = "\"" + program + "\"" + tail;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');

    // No standard handles: Wine then gives the child /dev/null instead of
    // whatever pipe the test runner attached to us.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = how.output;
    startup.hStdError = how.error;
    startup.hStdInput = how.input;
    bool const inherit = how.output != nullptr || how.error != nullptr || how.input != nullptr;

    PROCESS_INFORMATION info{};
    DWORD const flags = (how.suspended ? CREATE_SUSPENDED : 0) | (inherit ? CREATE_NO_WINDOW : 0);
    // Wine now and then refuses a start that follows others closely with
    // ERROR_INTERNAL_ERROR (1359); a moment later the same start works.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 5; ++attempt, ::Sleep(200)) {
        if (CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, inherit, flags, nullptr, nullptr,
                           &startup, &info))
            return Process(UniqueKernelHandle(info.hProcess), UniqueKernelHandle(info.hThread), info.dwProcessId);
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR) break;
    }
    throw std::runtime_error("cannot start " + commandLine + " (error " + std::to_string(error) + ")");
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

int KillProcessesNamed(std::string const& fileName) {
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

RunResult RunProgram(std::string const& program, std::string const& arguments, DWORD timeoutMs,
                     std::string const& input) {
    UniqueFileHandle out = CreateCaptureFile();
    UniqueFileHandle err = CreateCaptureFile();
    UniqueFileHandle in;
    if (!input.empty()) {
        in = CreateCaptureFile();
        DWORD written = 0;
        LARGE_INTEGER zero{};
        if (!in || !WriteFile(in.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr) ||
            !SetFilePointerEx(in.get(), zero, nullptr, FILE_BEGIN))
            throw std::runtime_error("cannot create the input of " + program);
    }
    if (!out || !err) throw std::runtime_error("cannot create files for the output of " + program);
    Process process = Process::Start(program, arguments.empty() ? "" : " " + arguments,
                                     {false, out.get(), err.get(), in.get()});
    RunResult result;
    std::optional<DWORD> const code = process.WaitForExit(timeoutMs);
    result.finished = code.has_value();
    if (!code) process.Kill();
    result.exitCode = code.value_or(kKilledExitCode);
    result.out = ReadAll(out.get());
    result.err = ReadAll(err.get());
    return result;
}

}  // namespace e2e
