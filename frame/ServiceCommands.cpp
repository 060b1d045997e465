// Agent Start and Agent Stop: the monitoring service is started or stopped
// synchronously on this thread, and the menu follows the result at once.
#include "frame/ServiceCommands.h"

#include "contract/ServiceContract.h"
#include "frame/MainFrame.h"

namespace {

BOOL StartAction(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS&) {
    return scm.StartService(service, 0, nullptr);
}

// Only whether the request was taken matters, not the state it returns.
BOOL StopAction(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status) {
    return scm.ControlService(service, SERVICE_CONTROL_STOP, &status);
}

}  // namespace

ServiceCommand const kAgentStart{kAgentStartAccess, &StartAction, kAgentPendingPolls, &IsServiceStartPending, 1};
ServiceCommand const kAgentStop{kAgentStopAccess, &StopAction, kAgentStopPolls, &IsServiceNotStopped, 0};

std::optional<int> RunServiceCommand(ServiceControlApi& scm, ServiceCommand const& command) {
    OpenedService opened;
    if (!OpenScmService(scm, kServiceName, command.serviceAccess, opened)) return std::nullopt;
    SC_HANDLE service = opened.service.get();
    SERVICE_STATUS status{};

    // How the waits end does not matter: the next status poll corrects the menu.
    PollWhile(scm, service, status, &IsServicePending, kAgentPendingPolls);
    if (command.act(scm, service, status)) PollWhile(scm, service, status, command.keepWaiting, command.wait);
    // Set even when the action failed: the next status poll corrects it.
    return command.runningAfter;
}

void CMainFrame::OnAgentStart() {
    if (std::optional<int> running = RunAgentStart(Seam<ServiceControlApi>::Current())) agentRunning = *running;
}

void CMainFrame::OnAgentStop() {
    if (std::optional<int> running = RunAgentStop(Seam<ServiceControlApi>::Current())) agentRunning = *running;
}
