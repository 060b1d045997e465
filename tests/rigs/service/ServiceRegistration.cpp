#include "tests/rigs/service/ServiceRegistration.h"

#include "contract/ServiceContract.h"
#include "tests/rigs/e2e/Process.h"
#include "tests/rigs/e2e/TempFolder.h"
#include "win32/UniqueHandle.h"

namespace service_test {

namespace {

constexpr DWORD kInstallTimeoutMs = 30000;
constexpr DWORD kSettleTimeoutMs = 30000;  // a stop delay of 10 s must fit
constexpr DWORD kPollMs = 25;

UniqueServiceHandle OpenManager() {
    return UniqueServiceHandle(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

UniqueServiceHandle OpenRegistration(SC_HANDLE manager) {
    return UniqueServiceHandle(::OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS));
}

// The manager is kept open for as long as the service handle is used.
struct Registration {
    UniqueServiceHandle manager;
    UniqueServiceHandle service;
};

Registration OpenBoth() {
    Registration r{OpenManager(), {}};
    if (r.manager) r.service = OpenRegistration(r.manager.get());
    return r;
}

std::optional<DWORD> StateOf(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service, &status)) return std::nullopt;
    return status.dwCurrentState;
}

std::optional<DWORD> WaitFor(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
    ULONGLONG const end = ::GetTickCount64() + timeoutMs;
    std::optional<DWORD> seen = StateOf(service);
    while (seen && *seen != state && ::GetTickCount64() < end) {
        ::Sleep(kPollMs);
        seen = StateOf(service);
    }
    return seen;
}

}  // namespace

std::string InstallService(std::string const& options) {
    e2e::Process install =
        e2e::Process::Start(e2e::HostPathToWindows(VANDREL_SERVICE_EXE), " install " + options);
    std::optional<DWORD> const code = install.WaitForExit(kInstallTimeoutMs);
    if (!code) return "VandrelService install did not finish";
    if (*code != 0) return "VandrelService install failed with code " + std::to_string(*code);
    return "";
}

bool RemoveService() {
    UniqueServiceHandle manager = OpenManager();
    if (!manager) return false;
    {
        UniqueServiceHandle service = OpenRegistration(manager.get());
        if (!service) return true;
        std::optional<DWORD> state = StateOf(service.get());
        if (state == DWORD{SERVICE_START_PENDING}) state = WaitFor(service.get(), SERVICE_RUNNING, kSettleTimeoutMs);
        if (state == DWORD{SERVICE_STOP_PENDING}) state = WaitFor(service.get(), SERVICE_STOPPED, kSettleTimeoutMs);
        if (state && *state != SERVICE_STOPPED) {
            SERVICE_STATUS status{};
            ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            WaitFor(service.get(), SERVICE_STOPPED, kSettleTimeoutMs);
        }
        ::DeleteService(service.get());
    }
    ULONGLONG const end = ::GetTickCount64() + kSettleTimeoutMs;
    while (OpenRegistration(manager.get())) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(kPollMs);
    }
    return true;
}

std::optional<DWORD> ServiceState() { return WaitForServiceState(0, 0); }

std::optional<DWORD> WaitForServiceState(DWORD state, DWORD timeoutMs) {
    Registration r = OpenBoth();
    return r.service ? WaitFor(r.service.get(), state, timeoutMs) : std::nullopt;
}

bool StartServiceNow() {
    Registration r = OpenBoth();
    return r.service && ::StartServiceA(r.service.get(), 0, nullptr);
}

}  // namespace service_test
