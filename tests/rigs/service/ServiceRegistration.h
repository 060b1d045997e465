// The "Vandrel Service" registration in the Wine session's real Service
// Control Manager, as every test that installs the service needs it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace service_test {

// Installs the stand-in service with `options` (VandrelService's install
// options). Empty when it worked, else what went wrong.
std::string InstallService(std::string const& options);

// Stops (waiting out any pending state) and deletes whatever registration
// an earlier run left, and waits until the name is free. False when it could
// not be removed.
bool RemoveService();

// The service's current state; nothing when it is not registered.
std::optional<DWORD> ServiceState();

// Polls until the service is in `state`; returns the last state seen.
std::optional<DWORD> WaitForServiceState(DWORD state, DWORD timeoutMs);

bool StartServiceNow();

}  // namespace service_test
