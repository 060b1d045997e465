// Restarting the monitoring service after its settings changed, so it reads
// them again. A service that is not running is left alone: it reads them
// when it next starts.
#pragma once

#include <windows.h>

#include <string>

namespace dellomark {

enum class RestartOutcome { NotInstalled, NotRunning, Restarted, Failed };

struct RestartResult {
    RestartOutcome outcome = RestartOutcome::Failed;
    std::string failure;  // for Failed: the step and the system's message
};

// The Service Control Manager's own time-out for a stop.
DWORD const kStopWaitMs = 30000;

// False only when the Service Control Manager knows no such service.
bool ServiceInstalled(char const* serviceName);

// Stops the service (waiting up to `stopWaitMs` for it to stop) and starts
// it again, if it runs.
RestartResult RestartIfRunning(char const* serviceName, DWORD stopWaitMs = kStopWaitMs);

}  // namespace dellomark
