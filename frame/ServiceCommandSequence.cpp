#include "frame/ServiceCommandSequence.h"

namespace {

class SystemServiceControl final : public ServiceControlApi {
public:
    SC_HANDLE OpenSCManager(LPCSTR machine, LPCSTR database, DWORD access) override {
        return ::OpenSCManagerA(machine, database, access);
    }
    SC_HANDLE OpenService(SC_HANDLE manager, LPCSTR name, DWORD access) override {
        return ::OpenServiceA(manager, name, access);
    }
    BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
        return ::QueryServiceStatus(service, status);
    }
    BOOL StartService(SC_HANDLE service, DWORD argc, LPCSTR* argv) override {
        return ::StartServiceA(service, argc, argv);
    }
    BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override {
        return ::ControlService(service, control, status);
    }
    BOOL CloseServiceHandle(SC_HANDLE handle) override { return ::CloseServiceHandle(handle); }
    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
};

SystemServiceControl g_systemServiceControl;

bool IsPending(DWORD state) { return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING; }

// One poll: wait, then ask. False when the state could not be read; the
// record then holds nothing worth looking at.
bool PollState(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status) {
    scm.Sleep(kServicePollIntervalMs);
    return scm.QueryServiceStatus(service, &status) != FALSE;
}

// Polls while the state read satisfies `keepWaiting`, at most `maxPolls`
// times. The first wait comes before the first query. Ends at once when a
// query fails.
void PollWhile(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status, int maxPolls,
               bool (*keepWaiting)(DWORD state)) {
    for (int poll = 0; poll < maxPolls; ++poll) {
        if (!PollState(scm, service, status)) return;
        if (!keepWaiting(status.dwCurrentState)) return;
    }
}

// Opens the manager and then the service. Either stays empty on failure;
// the manager is declared first so it is closed last.
struct OpenedService {
    UniqueScmHandle manager;
    UniqueScmHandle service;
};

bool Open(ServiceControlApi& scm, DWORD serviceAccess, OpenedService& opened) {
    SC_HANDLE manager = scm.OpenSCManager(nullptr, nullptr, kAgentManagerAccess);
    if (manager == nullptr) return false;
    opened.manager.reset({manager, &scm});
    SC_HANDLE service = scm.OpenService(manager, kServiceName, serviceAccess);
    if (service == nullptr) return false;
    opened.service.reset({service, &scm});
    return true;
}

// Closes the service, then the manager.
void Close(OpenedService& opened) {
    opened.service.reset();
    opened.manager.reset();
}

}  // namespace

template <>
ServiceControlApi* Seam<ServiceControlApi>::current_ = &g_systemServiceControl;

namespace {

BOOL StartAction(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS&) {
    return scm.StartService(service, 0, nullptr);
}

// Only whether the request was taken matters, not the state it returns.
BOOL StopAction(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status) {
    return scm.ControlService(service, SERVICE_CONTROL_STOP, &status);
}

bool IsStartPending(DWORD state) { return state == SERVICE_START_PENDING; }
bool IsNotStopped(DWORD state) { return state != SERVICE_STOPPED; }

}  // namespace

const ServiceCommand kAgentStart{kAgentStartAccess, &StartAction, kMaxPendingPolls, &IsStartPending, 1};
const ServiceCommand kAgentStop{kAgentStopAccess, &StopAction, kMaxStopPolls, &IsNotStopped, 0};

std::optional<int> RunServiceCommand(ServiceControlApi& scm, const ServiceCommand& command) {
    OpenedService opened;
    if (!Open(scm, command.serviceAccess, opened)) {
        Close(opened);
        return std::nullopt;
    }
    SC_HANDLE service = opened.service.get().handle;
    SERVICE_STATUS status{};

    PollWhile(scm, service, status, kMaxPendingPolls, IsPending);
    if (command.act(scm, service, status)) PollWhile(scm, service, status, command.maxWaitPolls, command.keepWaiting);
    Close(opened);
    // Set even when the action failed: the next status poll corrects it.
    return command.runningAfter;
}
