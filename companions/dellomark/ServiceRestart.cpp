#include "companions/dellomark/ServiceRestart.h"

#include <winsvc.h>

#include "common/UniqueHandle.h"
#include "companions/common/Win32Error.h"

namespace dellomark {

namespace {

DWORD const kPollMs = 100;

RestartResult Failed(char const* step, DWORD error) {
    return {RestartOutcome::Failed, std::string(step) + ": " + companions::DescribeWin32Error(error)};
}

bool QueryState(SC_HANDLE service, DWORD& state) {
    SERVICE_STATUS status = {};
    if (!::QueryServiceStatus(service, &status)) return false;
    state = status.dwCurrentState;
    return true;
}

}  // namespace

bool ServiceInstalled(char const* serviceName) {
    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return true;  // the restart says what is wrong
    UniqueServiceHandle service(::OpenServiceA(manager.get(), serviceName, SERVICE_QUERY_STATUS));
    return service || ::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

RestartResult RestartIfRunning(char const* serviceName, DWORD stopWaitMs) {
    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Failed("opening the Service Control Manager", ::GetLastError());
    UniqueServiceHandle service(
        ::OpenServiceA(manager.get(), serviceName, SERVICE_QUERY_STATUS | SERVICE_STOP | SERVICE_START));
    if (!service) {
        DWORD const error = ::GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) return {RestartOutcome::NotInstalled, {}};
        return Failed("opening the service", error);
    }

    DWORD state = 0;
    if (!QueryState(service.get(), state)) return Failed("asking the service's state", ::GetLastError());
    // Stopped, or on its way there at someone else's request: it reads the
    // settings when it next starts.
    if (state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING) return {RestartOutcome::NotRunning, {}};

    SERVICE_STATUS status = {};
    if (!::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD const error = ::GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE) return Failed("stopping the service", error);
    }
    ULONGLONG const end = ::GetTickCount64() + stopWaitMs;
    while (QueryState(service.get(), state) && state != SERVICE_STOPPED && ::GetTickCount64() < end) {
        ::Sleep(kPollMs);
    }
    if (state != SERVICE_STOPPED) return Failed("stopping the service", ERROR_SERVICE_REQUEST_TIMEOUT);

    if (!::StartServiceA(service.get(), 0, nullptr)) {
        DWORD const error = ::GetLastError();
        if (error != ERROR_SERVICE_ALREADY_RUNNING) return Failed("starting the service", error);
    }
    return {RestartOutcome::Restarted, {}};
}

}  // namespace dellomark
