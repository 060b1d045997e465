// Agent Start and Agent Stop: the monitoring service is started or stopped
// synchronously on this thread, and the menu follows the result at once.
#include "frame/MainFrame.h"

#include "frame/ServiceCommandSequence.h"

void CMainFrame::OnAgentStart() {
    if (std::optional<int> running = RunAgentStart(Seam<ServiceControlApi>::Current())) agentRunning = *running;
}

void CMainFrame::OnAgentStop() {
    if (std::optional<int> running = RunAgentStop(Seam<ServiceControlApi>::Current())) agentRunning = *running;
}
