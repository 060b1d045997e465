// Running as a real service under the Service Control Manager.
#pragma once

#include "companions/vandrel-service/ServiceOptions.h"

namespace vandrel {

int const kExitOk = 0;
int const kExitFailed = 1;
int const kExitUsage = 2;

// Connects to the Service Control Manager and runs the service until it is
// stopped. Returns the process exit code; fails with a message when the
// process was not started by the Service Control Manager.
int RunAsService(ServiceOptions const& options);

// The same simulation in this console until Ctrl+C, for people.
int RunInConsole(ServiceOptions const& options);

}  // namespace vandrel
