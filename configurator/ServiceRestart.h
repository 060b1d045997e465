// Restarting the monitoring service after its settings changed, so it reads
// them again, on a worker thread so the dialog keeps answering while the
// service takes its time to stop. A service that is not running is left
// alone: it reads them when it next starts.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "configurator/BackgroundJob.h"

namespace dellomark {

enum class RestartOutcome { NotInstalled, NotRunning, Restarted, Failed };

struct RestartResult {
    RestartOutcome outcome = RestartOutcome::Failed;
    std::string failure;  // for Failed: the step and the system's message
};

// False only when the Service Control Manager knows no such service.
bool ServiceInstalled(char const* serviceName);

// Stops the service and starts it again if it runs; Restarted only once it
// reports RUNNING.
RestartResult RestartIfRunning(char const* serviceName);

// One restart at a time on a worker thread; see BackgroundJob.
class ServiceRestart {
public:
    // Starts a restart unless one runs; `message` goes to `target` when it ends.
    bool Start(HWND target, UINT message, char const* serviceName);
    bool Running() const { return job_.Running(); }
    std::optional<RestartResult> Take() { return job_.Take(); }
    void Abandon(DWORD waitMs) { job_.Abandon(waitMs); }

private:
    BackgroundJob<RestartResult> job_;
};

}  // namespace dellomark
