#include "win32/ServiceControl.h"

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
    SC_HANDLE CreateService(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD serviceType,
                            DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                            DWORD* tagId, LPCSTR dependencies, LPCSTR account, LPCSTR password) override {
        return ::CreateServiceA(manager, name, displayName, access, serviceType, startType, errorControl, binaryPath,
                                loadOrderGroup, tagId, dependencies, account, password);
    }
    BOOL ChangeServiceConfig(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                             LPCSTR binaryPath, LPCSTR loadOrderGroup, DWORD* tagId, LPCSTR dependencies,
                             LPCSTR account, LPCSTR password, LPCSTR displayName) override {
        return ::ChangeServiceConfigA(service, serviceType, startType, errorControl, binaryPath, loadOrderGroup,
                                      tagId, dependencies, account, password, displayName);
    }
    BOOL DeleteService(SC_HANDLE service) override { return ::DeleteService(service); }
    BOOL CloseServiceHandle(SC_HANDLE handle) override { return ::CloseServiceHandle(handle); }
    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
};

SystemServiceControl g_systemServiceControl;

ScmResult Failed(ScmStep step, DWORD error, DWORD state) { return {step, error, state}; }

// A wait given up on is the fault of the step that was waited for.
ScmResult Blame(ScmResult result, ScmStep step) {
    if (result.failed == ScmStep::Wait) result.failed = step;
    return result;
}

}  // namespace

template <>
ServiceControlApi* Seam<ServiceControlApi>::current_ = &g_systemServiceControl;

bool IsServicePending(DWORD state) { return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING; }
bool IsServiceStartPending(DWORD state) { return state == SERVICE_START_PENDING; }
bool IsServiceNotStopped(DWORD state) { return state != SERVICE_STOPPED; }

ScmResult OpenScmService(ServiceControlApi& scm, char const* name, DWORD access, OpenedService& opened) {
    SC_HANDLE manager = scm.OpenSCManager(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return Failed(ScmStep::OpenManager, ::GetLastError(), 0);
    opened.manager.reset({manager, &scm});
    SC_HANDLE service = scm.OpenService(manager, name, access);
    if (service == nullptr) return Failed(ScmStep::OpenService, ::GetLastError(), 0);
    opened.service.reset({service, &scm});
    return {};
}

ScmResult PollWhile(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status,
                    bool (*keepWaiting)(DWORD state), PollRule const& rule) {
    DWORD elapsedMs = 0;
    DWORD progressAtMs = 0;
    for (;;) {
        if (elapsedMs >= rule.capMs) return Failed(ScmStep::Wait, ERROR_SERVICE_REQUEST_TIMEOUT, status.dwCurrentState);
        scm.Sleep(rule.intervalMs);
        elapsedMs += rule.intervalMs;
        SERVICE_STATUS const before = status;
        if (!scm.QueryServiceStatus(service, &status)) return Failed(ScmStep::Query, ::GetLastError(), before.dwCurrentState);
        if (!keepWaiting(status.dwCurrentState)) return {ScmStep::None, ERROR_SUCCESS, status.dwCurrentState};
        if (status.dwCurrentState != before.dwCurrentState || status.dwCheckPoint != before.dwCheckPoint) {
            progressAtMs = elapsedMs;
        } else if (rule.stallFloorMs != 0) {
            DWORD const hintMs = status.dwWaitHint > MAXDWORD / 2 ? MAXDWORD : status.dwWaitHint * 2;
            if (elapsedMs - progressAtMs > (hintMs > rule.stallFloorMs ? hintMs : rule.stallFloorMs))
                return Failed(ScmStep::Wait, ERROR_SERVICE_REQUEST_TIMEOUT, status.dwCurrentState);
        }
    }
}

ScmResult StopAndWait(ServiceControlApi& scm, SC_HANDLE service, PollRule const& rule) {
    SERVICE_STATUS status{};
    if (!scm.QueryServiceStatus(service, &status)) return Failed(ScmStep::Query, ::GetLastError(), 0);
    // A pending service takes no stop request yet.
    if (IsServicePending(status.dwCurrentState)) {
        ScmResult const settled = PollWhile(scm, service, status, &IsServicePending, rule);
        if (!settled) return Blame(settled, ScmStep::Stop);
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return {ScmStep::None, ERROR_SUCCESS, SERVICE_STOPPED};
    if (!scm.ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        DWORD const error = ::GetLastError();
        // It stopped between the query and the request.
        if (error == ERROR_SERVICE_NOT_ACTIVE) return {ScmStep::None, ERROR_SUCCESS, SERVICE_STOPPED};
        return Failed(ScmStep::Stop, error, status.dwCurrentState);
    }
    return Blame(PollWhile(scm, service, status, &IsServiceNotStopped, rule), ScmStep::Stop);
}

ScmResult StartAndWait(ServiceControlApi& scm, SC_HANDLE service, PollRule const& rule) {
    if (!scm.StartService(service, 0, nullptr)) {
        DWORD const error = ::GetLastError();
        if (error != ERROR_SERVICE_ALREADY_RUNNING) return Failed(ScmStep::Start, error, SERVICE_STOPPED);
    }
    SERVICE_STATUS status{};
    status.dwCurrentState = SERVICE_START_PENDING;
    ScmResult const started = Blame(PollWhile(scm, service, status, &IsServiceStartPending, rule), ScmStep::Start);
    if (!started || status.dwCurrentState == SERVICE_RUNNING) return started;
    // It gave up starting (or was stopped meanwhile); its exit code says why.
    DWORD const exitCode = status.dwWin32ExitCode != ERROR_SUCCESS ? status.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE;
    return Failed(ScmStep::Start, exitCode, status.dwCurrentState);
}

ScmResult RestartAndWait(ServiceControlApi& scm, SC_HANDLE service, PollRule const& rule) {
    ScmResult const stopped = StopAndWait(scm, service, rule);
    return stopped ? StartAndWait(scm, service, rule) : stopped;
}
