// Driving a service through the Service Control Manager: the one seam every
// program calls it through, an owner for its handles, and the steps they
// share, so tests can script what the manager answers.
#pragma once

#include <windows.h>
#include <winsvc.h>

#include "win32/Seam.h"
#include "win32/UniqueHandle.h"

// The system calls made, as an interface tests can script. A failing call
// leaves its reason in GetLastError, as the system does.
class ServiceControlApi {
public:
    virtual ~ServiceControlApi() = default;
    virtual SC_HANDLE OpenSCManager(LPCSTR machine, LPCSTR database, DWORD access) = 0;
    virtual SC_HANDLE OpenService(SC_HANDLE manager, LPCSTR name, DWORD access) = 0;
    virtual BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) = 0;
    virtual BOOL StartService(SC_HANDLE service, DWORD argc, LPCSTR* argv) = 0;
    virtual BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) = 0;
    // Registering: the service's own install and config.
    virtual SC_HANDLE CreateService(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access,
                                    DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPath,
                                    LPCSTR loadOrderGroup, DWORD* tagId, LPCSTR dependencies, LPCSTR account,
                                    LPCSTR password) = 0;
    virtual BOOL ChangeServiceConfig(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                                     LPCSTR binaryPath, LPCSTR loadOrderGroup, DWORD* tagId, LPCSTR dependencies,
                                     LPCSTR account, LPCSTR password, LPCSTR displayName) = 0;
    virtual BOOL DeleteService(SC_HANDLE service) = 0;
    virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
};

template <>
ServiceControlApi* Seam<ServiceControlApi>::current_;

// A service or manager handle together with the interface that closes it,
// so it is owned like any other handle and closed through the same seam
// that opened it.
struct ScmHandleRef {
    SC_HANDLE handle = nullptr;
    ServiceControlApi* api = nullptr;
    operator SC_HANDLE() const { return handle; }
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

// The manager is declared first, so the service is closed before it.
struct OpenedService {
    UniqueScmHandle manager;
    UniqueScmHandle service;
};

// How long a service on its way somewhere is polled: a wait, then a query,
// every intervalMs. The clock is the sum of those waits, so a scripted
// manager needs no real time. It gives up after capMs in all, and, with a
// stall floor, once neither the state nor the checkpoint has moved for
// max(2 x the service's wait hint, stallFloorMs): the service no longer
// shows it is working.
struct PollRule {
    DWORD intervalMs;
    DWORD capMs;
    DWORD stallFloorMs;  // 0: the cap alone
};

// The rule every program waits by for a start or a stop, setup's included
// (it runs the service's own start and stop commands): at most the
// manager's own 30 s time-out.
inline constexpr DWORD kServiceWaitPollMs = 250;
inline constexpr DWORD kServiceWaitCapMs = 30000;
inline constexpr DWORD kServiceWaitStallFloorMs = 5000;
PollRule const kServicePollRule{kServiceWaitPollMs, kServiceWaitCapMs, kServiceWaitStallFloorMs};

// How a step ended: the first step that failed and the system's reason. A
// wait given up on reports ERROR_SERVICE_REQUEST_TIMEOUT.
enum class ScmStep { None, OpenManager, OpenService, Query, Stop, Start, Wait };
struct ScmResult {
    ScmStep failed = ScmStep::None;
    DWORD error = ERROR_SUCCESS;
    DWORD state = 0;  // the last state read
    explicit operator bool() const { return failed == ScmStep::None; }
};

bool IsServicePending(DWORD state);
bool IsServiceStartPending(DWORD state);
bool IsServiceNotStopped(DWORD state);

// Connects to the manager and opens `name` with `access`; `opened` holds
// what did open.
ScmResult OpenScmService(ServiceControlApi& scm, char const* name, DWORD access, OpenedService& opened);

// Polls while keepWaiting(state) under `rule`, always at least once. Fails
// with Query or Wait; `status` holds the last answer.
ScmResult PollWhile(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status,
                    bool (*keepWaiting)(DWORD state), PollRule const& rule);

// Lets a pending state settle, asks a running service to stop and waits for
// STOPPED. A service found stopped is left alone. A wait given up on fails
// with Stop.
ScmResult StopAndWait(ServiceControlApi& scm, SC_HANDLE service, PollRule const& rule);

// Starts the service and waits until it runs. A start given up on fails
// with Start; so does one that ended stopped, with the service's exit code.
ScmResult StartAndWait(ServiceControlApi& scm, SC_HANDLE service, PollRule const& rule);

// StopAndWait, then StartAndWait: done only once the service runs again.
ScmResult RestartAndWait(ServiceControlApi& scm, SC_HANDLE service, PollRule const& rule);
