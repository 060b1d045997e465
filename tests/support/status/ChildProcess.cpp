#include "tests/support/status/ChildProcess.h"

#include <atomic>
#include <vector>

#include "common/UniqueHandle.h"

namespace perimand_test {
namespace {

// An inheritable temporary file that vanishes when its last handle closes.
UniqueFileHandle CreateCaptureFile() {
    static std::atomic<unsigned> counter{0};
    char folder[MAX_PATH] = {};
    ::GetTempPathA(sizeof folder, folder);
    std::string const name = std::string(folder) + "perimand-child-" + std::to_string(::GetCurrentProcessId()) +
                             "-" + std::to_string(counter++) + ".txt";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return UniqueFileHandle(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
}

std::string ReadAll(HANDLE file) {
    // The child shared the file position; start over from the beginning.
    LARGE_INTEGER zero = {};
    ::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read != 0) text.append(buffer, read);
    return text;
}

}  // namespace

RunResult RunProgram(std::string const& commandLine, DWORD timeoutMs) {
    RunResult result;
    UniqueFileHandle out = CreateCaptureFile();
    UniqueFileHandle err = CreateCaptureFile();
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueFileHandle input(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                         OPEN_EXISTING, 0, nullptr));
    if (!out || !err) return result;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION info = {};
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    result.started = ::CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &startup, &info) != FALSE;
    if (!result.started) return result;
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    result.finished = ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
    if (!result.finished) {
        ::TerminateProcess(process.get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process.get(), INFINITE);
    }
    ::GetExitCodeProcess(process.get(), &result.exitCode);
    result.out = ReadAll(out.get());
    result.err = ReadAll(err.get());
    return result;
}

std::string CommandLine(std::string const& program, std::string const& arguments) {
    std::string line = "\"" + program + "\"";
    if (!arguments.empty()) line += " " + arguments;
    return line;
}

}  // namespace perimand_test
