#include "configurator/ServiceRestart.h"

#include <utility>

#include "win32/ServiceControl.h"
#include "win32/Win32Error.h"

namespace dellomark {

namespace {

char const* StepName(ScmStep step) {
    switch (step) {
    case ScmStep::OpenManager: return "opening the Service Control Manager";
    case ScmStep::OpenService: return "opening the service";
    case ScmStep::Stop: return "stopping the service";
    case ScmStep::Start: return "starting the service";
    default: return "asking the service's state";
    }
}

RestartResult Failed(ScmResult const& result) {
    return {RestartOutcome::Failed, std::string(StepName(result.failed)) + ": " +
                                        win32::DescribeWin32Error(result.error)};
}

}  // namespace

bool ServiceInstalled(char const* serviceName) {
    OpenedService opened;
    ScmResult const result = OpenScmService(Seam<ServiceControlApi>::Current(), serviceName, SERVICE_QUERY_STATUS, opened);
    // Anything else, the restart says what is wrong.
    return result.failed != ScmStep::OpenService || result.error != ERROR_SERVICE_DOES_NOT_EXIST;
}

RestartResult RestartIfRunning(char const* serviceName) {
    ServiceControlApi& scm = Seam<ServiceControlApi>::Current();
    OpenedService opened;
    ScmResult const open = OpenScmService(scm, serviceName, SERVICE_QUERY_STATUS | SERVICE_STOP | SERVICE_START, opened);
    if (open.failed == ScmStep::OpenService && open.error == ERROR_SERVICE_DOES_NOT_EXIST)
        return {RestartOutcome::NotInstalled, {}};
    if (!open) return Failed(open);

    SERVICE_STATUS status = {};
    if (!scm.QueryServiceStatus(opened.service.get(), &status)) return Failed({ScmStep::Query, ::GetLastError(), 0});
    // Stopped, or on its way there at someone else's request: it reads the
    // settings when it next starts.
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwCurrentState == SERVICE_STOP_PENDING)
        return {RestartOutcome::NotRunning, {}};
    ScmResult const restarted = RestartAndWait(scm, opened.service.get(), kServicePollRule);
    return restarted ? RestartResult{RestartOutcome::Restarted, {}} : Failed(restarted);
}

bool ServiceRestart::Start(HWND target, UINT message, char const* serviceName) {
    return job_.Start(target, message, [name = std::string(serviceName)] { return RestartIfRunning(name.c_str()); },
                      RestartResult{RestartOutcome::Failed, "internal error"});
}

}  // namespace dellomark
