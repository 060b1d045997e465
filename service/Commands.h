// The commands that act on the registration: install, config, status,
// uninstall, start and stop. Each prints what went wrong and returns a
// non-zero exit code on failure.
#pragma once

#include <string>
#include <vector>

#include "service/CommandLine.h"
#include "service/settings/ServiceSettings.h"

namespace vandrel {

// Registers this executable as "Vandrel Service" (own process, automatic
// start, LocalService, restarted on failure), or brings an existing
// registration to that, and writes `settings` (already validated) to its
// Parameters key. The login's password comes from standard input when
// `password` says so; settings without a login user leave none stored.
// Refuses, changing nothing, when ordinary users can change this
// executable or its folder.
int Install(ServiceSettings const& settings, PasswordRequest password);

// Applies install's options onto the installed service's settings (reading
// the password from standard input for --password-stdin) and points
// the registration at this executable, as install does, and refuses the
// same copies. A running service picks them up by itself at once.
int Configure(std::vector<std::string> const& options);

// Prints the service's state, its settings and what its source says now.
// 0 when it printed a reading.
int PrintStatus();

// Stops the service if it runs, then deletes it, its settings and the
// stored password.
int Uninstall();

// Starts the service and waits until it runs, by ServiceControl's rule.
int Start();

// Stops the service and waits until it has stopped, by the same rule. A
// service that is stopped already, or not registered at all, is no failure.
int Stop();

// Whether the token is an administrator's with the group enabled, i.e.
// elevated where UAC filters it.
bool IsAdministrator();

}  // namespace vandrel
