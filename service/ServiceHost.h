// Running as a real service under the Service Control Manager, or in a
// console for people.
#pragma once

#include <string>
#include <vector>

namespace vandrel {

// Connects to the Service Control Manager and runs the service until it is
// stopped, with the settings from its Parameters key (or, for a registration
// from an older version that has no key, the options in its binary path).
// Returns the process exit code; fails with a message when the process was
// not started by the Service Control Manager.
int RunAsService(std::vector<std::string> const& options);

// The same in this console until Ctrl+C: with `options` over the defaults,
// or with the service's settings when there are none.
int RunInConsole(std::vector<std::string> const& options);

}  // namespace vandrel
