// Restarting the monitoring service after its settings changed, so it reads
// them again, on a worker thread so the dialog keeps answering while the
// service takes its time to stop. A service that is not running is left
// alone: it reads them when it next starts.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "common/UniqueHandle.h"

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

// One restart at a time, as the connection test runs its query: the worker
// posts `message` to the window when done; the window then takes the result.
class ServiceRestart {
public:
    ServiceRestart() = default;
    ~ServiceRestart();  // Abandon(kAbandonWaitMs)
    ServiceRestart(ServiceRestart const&) = delete;
    ServiceRestart& operator=(ServiceRestart const&) = delete;

    static DWORD const kAbandonWaitMs = 1000;

    // Starts a restart unless one runs.
    bool Start(HWND target, UINT message, char const* serviceName);
    // True from Start until the result is in.
    bool Running() const;
    // The result of the restart that ended, once.
    std::optional<RestartResult> Take();
    // Posts nothing more, then waits up to `waitMs` for the worker.
    void Abandon(DWORD waitMs);

private:
    struct Shared;
    static DWORD WINAPI Run(void* parameter);

    std::shared_ptr<Shared> shared_;
    UniqueKernelHandle thread_;
};

}  // namespace dellomark
