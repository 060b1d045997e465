// Registering and removing the service. Both print what went wrong and
// return a non-zero exit code on failure.
#pragma once

#include "companions/vandrel-service/ServiceOptions.h"

namespace vandrel {

// Registers this executable as "Vandrel Service" (own process, demand start)
// with the options in its binary path.
int Install(ServiceOptions const& options);

// Stops the service if it runs, then deletes it.
int Uninstall();

}  // namespace vandrel
