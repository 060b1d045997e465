// The Agent Start and Agent Stop sequences against the Service Control
// Manager, apart from the window, so tests can script what the manager
// answers and count what is opened and closed.
#pragma once

#include <windows.h>
#include <winsvc.h>

#include <optional>

#include "common/Seam.h"
#include "common/ServiceContract.h"
#include "common/UniqueHandle.h"


DWORD const kAgentManagerAccess = SC_MANAGER_CONNECT;
DWORD const kAgentStartAccess = SERVICE_QUERY_STATUS | SERVICE_START;
DWORD const kAgentStopAccess = SERVICE_QUERY_STATUS | SERVICE_STOP;

DWORD const kServicePollIntervalMs = 500;

// A service that stays pending longer than 30 s is one the Service Control
// Manager itself gives up on (its default start and stop time-out), and the
// tray is frozen while we wait: the settle loop and the start-pending wait
// each give up after this many polls. Leaving early costs nothing, as the
// next status poll corrects the menu anyway.
int const kMaxPendingPolls = 60;

// After a stop request the service gets this many polls to reach STOPPED.
int const kMaxStopPolls = 6;

// The system calls the sequences make, as an interface tests can script.
class ServiceControlApi {
public:
    virtual ~ServiceControlApi() = default;
    virtual SC_HANDLE OpenSCManager(LPCSTR machine, LPCSTR database, DWORD access) = 0;
    virtual SC_HANDLE OpenService(SC_HANDLE manager, LPCSTR name, DWORD access) = 0;
    virtual BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) = 0;
    virtual BOOL StartService(SC_HANDLE service, DWORD argc, LPCSTR* argv) = 0;
    virtual BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) = 0;
    virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
};

template <>
ServiceControlApi* Seam<ServiceControlApi>::current_;

// A service or manager handle together with the interface that closes it,
// so it is owned like any other handle (UniqueHandle) and closed through
// the same seam that opened it.
struct ScmHandleRef {
    SC_HANDLE handle = nullptr;
    ServiceControlApi* api = nullptr;
    friend bool operator==(ScmHandleRef a, ScmHandleRef b) { return a.handle == b.handle; }
    friend bool operator!=(ScmHandleRef a, ScmHandleRef b) { return a.handle != b.handle; }
};

namespace handle_traits {
struct ScmSeam {
    using type = ScmHandleRef;
    static type invalid() noexcept { return {}; }
    static void close(type h) noexcept { h.api->CloseServiceHandle(h.handle); }
};
}  // namespace handle_traits

using UniqueScmHandle = UniqueHandle<handle_traits::ScmSeam>;

// One command as data: the access it asks for, its action, how long it then
// waits and for what, and the value agentRunning takes afterwards.
struct ServiceCommand {
    DWORD serviceAccess;
    BOOL (*act)(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status);
    int maxWaitPolls;
    bool (*keepWaiting)(DWORD state);
    int runningAfter;
};

extern const ServiceCommand kAgentStart;  // StartService, then wait out START_PENDING
extern const ServiceCommand kAgentStop;   // stop control, then up to six polls for STOPPED

// Runs the whole command: open the manager and the service, let a pending
// state settle, act, wait, close the service and then the manager. Returns
// the value agentRunning takes afterwards (set whether or not the action
// succeeded), or nothing when the manager or the service could not be
// opened and everything stays as it was.
std::optional<int> RunServiceCommand(ServiceControlApi& scm, const ServiceCommand& command);

inline std::optional<int> RunAgentStart(ServiceControlApi& scm) { return RunServiceCommand(scm, kAgentStart); }
inline std::optional<int> RunAgentStop(ServiceControlApi& scm) { return RunServiceCommand(scm, kAgentStop); }
