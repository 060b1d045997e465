// How "Vandrel Service" is registered with the Service Control Manager: it
// starts with Windows, runs as LocalService with only the privileges it
// needs, and is restarted when it fails. install and config both bring a
// registration to this state, whoever made it and from wherever.
#pragma once

#include <windows.h>
#include <winsvc.h>

#include <string>

#include "service/settings/ServiceSettings.h"
#include "win32/Seam.h"

namespace vandrel {

// It parses network input: no more than LocalService's rights.
char const kServiceAccount[] = "NT AUTHORITY\\LocalService";

// What tests cannot make happen or see on a real system: Wine keeps no
// failure actions, and a settings write never fails there. (The rest of the
// registration goes through the Service Control Manager's own seam,
// ServiceControlApi.)
class RegistrationApi {
public:
    virtual ~RegistrationApi() = default;
    virtual BOOL ChangeServiceConfig2(SC_HANDLE service, DWORD infoLevel, void* info) = 0;
    // WriteServiceSettings: a Win32 error code.
    virtual unsigned long WriteSettings(ServiceSettings const& settings) = 0;
};

// Restarts after 5 s, 30 s and 60 s; the count starts over after a day.
DWORD const kRestartDelaysMs[] = {5000, 30000, 60000};
DWORD const kFailureResetSeconds = 24 * 60 * 60;

// Creating Global\ objects, and shutting the PC down (enabled only for the
// call): all else is dropped from the service's token.
char const kRequiredPrivileges[] = "SeCreateGlobalPrivilege\0SeShutdownPrivilege\0SeChangeNotifyPrivilege\0";

struct RegistrationResult {
    std::string failure;  // empty on success
    std::string note;     // what could not be narrowed, which is no failure
};

// Sets the description, the recovery actions and the required privileges.
RegistrationResult ApplyServiceExtras(SC_HANDLE service);

// Points an existing registration at `binaryPath`, automatic start, own
// process, LocalService, then applies the extras above.
RegistrationResult UpdateRegistration(SC_HANDLE service, std::string const& binaryPath);

}  // namespace vandrel

template <>
vandrel::RegistrationApi* Seam<vandrel::RegistrationApi>::current_;
