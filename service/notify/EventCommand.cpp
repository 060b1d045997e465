#include "service/notify/EventCommand.h"

#include <windows.h>

#include <system_error>
#include <thread>
#include <utility>

#include "win32/UniqueHandle.h"
#include "win32/Win32Error.h"

namespace vandrel {
namespace {

std::wstring Widened(std::string const& text) {
    int const size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

bool EndsWithNoCase(std::wstring const& text, wchar_t const* suffix) {
    size_t const length = std::char_traits<wchar_t>::length(suffix);
    return text.size() >= length && ::_wcsicmp(text.c_str() + text.size() - length, suffix) == 0;
}

// One argument: quotes inside would end it early.
std::wstring Quoted(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'"') c = L'\'';
    return L'"' + text + L'"';
}

bool NamesVariable(std::wstring const& entry, wchar_t const* name) {
    size_t const length = std::char_traits<wchar_t>::length(name);
    return entry.size() > length && entry[length] == L'=' && ::_wcsnicmp(entry.c_str(), name, length) == 0;
}

std::vector<std::wstring> OwnEnvironment() {
    std::vector<std::wstring> entries;
    UniqueHandle<handle_traits::NullOrClosedBy<wchar_t*, &::FreeEnvironmentStringsW>> block(
        ::GetEnvironmentStringsW());
    for (wchar_t const* entry = block.get(); entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1)
        entries.emplace_back(entry);
    return entries;
}

std::wstring CmdExe() {
    wchar_t folder[MAX_PATH] = {};
    UINT const length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder) + L"\\cmd.exe";
}

void Fail(std::string const& program, std::string const& why) {
    ReportServiceEvent(ServiceEvent::EventCommandFailed, program + ": " + why);
}

// Waits for the command on a thread of its own; ends it (and what it
// started) once its time is up.
void Watch(std::string program, UniqueKernelHandle process, UniqueKernelHandle job) {
    DWORD const waited = ::WaitForSingleObject(process.get(), kEventCommandLimitMs);
    if (waited == WAIT_TIMEOUT) {
        if (!job || !::TerminateJobObject(job.get(), ERROR_TIMEOUT)) ::TerminateProcess(process.get(), ERROR_TIMEOUT);
        Fail(program, "still ran after " + std::to_string(kEventCommandLimitMs / 1000) + " s and was ended");
        return;
    }
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code) && code != 0)
        Fail(program, "ended with exit code " + std::to_string(code));
}

}  // namespace

EventLaunch PlanEventCommand(std::wstring const& program, NotifyType type, std::wstring const& upsName,
                             std::wstring const& message, std::vector<std::wstring> const& inherited,
                             std::wstring const& cmdExe) {
    EventLaunch launch;
    std::wstring const arguments = Quoted(program) + L" " + Quoted(message);
    if (EndsWithNoCase(program, L".cmd") || EndsWithNoCase(program, L".bat")) {
        launch.application = cmdExe;
        // /s: cmd takes what lies between the outer quotes as the command.
        launch.commandLine = L"cmd.exe /d /s /c \"" + arguments + L"\"";
    } else {
        launch.application = program;
        launch.commandLine = arguments;
    }
    for (std::wstring const& entry : inherited)
        if (!NamesVariable(entry, L"NOTIFYTYPE") && !NamesVariable(entry, L"UPSNAME")) launch.environment.push_back(entry);
    std::string const typeName = NotifyTypeName(type);
    launch.environment.push_back(L"NOTIFYTYPE=" + std::wstring(typeName.begin(), typeName.end()));
    launch.environment.push_back(L"UPSNAME=" + upsName);
    return launch;
}

void StartEventCommand(std::string const& program, NotifyType type, std::string const& upsName,
                       std::wstring const& message) {
    std::wstring const path = Widened(program);
    EventLaunch const launch = PlanEventCommand(path, type, Widened(upsName), message, OwnEnvironment(), CmdExe());
    std::wstring environment;
    for (std::wstring const& entry : launch.environment) environment += entry + L'\0';
    environment += L'\0';
    std::wstring commandLine = launch.commandLine;  // CreateProcessW may write to it
    std::wstring const folder = path.substr(0, path.find_last_of(L"\\/") + 1);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(launch.application.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW | CREATE_SUSPENDED, &environment[0],
                          folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
        Fail(program, "cannot be started: " + win32::DescribeWin32Error(::GetLastError()));
        return;
    }
    UniqueKernelHandle process(started.hProcess);
    UniqueKernelHandle thread(started.hThread);
    // In a job, so that ending it also ends what a script started.
    UniqueKernelHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (job && !::AssignProcessToJobObject(job.get(), process.get())) job.reset();
    ::ResumeThread(thread.get());
    try {
        std::thread(Watch, program, std::move(process), std::move(job)).detach();
    } catch (std::system_error const&) {
        // Without a watcher it runs unwatched; the event itself is recorded.
    }
}

}  // namespace vandrel
