#include "service/Registration.h"

#include <iterator>
#include <vector>

#include "win32/ServiceControl.h"
#include "win32/Win32Error.h"

namespace vandrel {
namespace {

char const kDescription[] = "UPS monitoring service: publishes the UPS status block from a NUT server or a simulation.";

class SystemRegistration final : public RegistrationApi {
public:
    BOOL ChangeServiceConfig2(SC_HANDLE service, DWORD infoLevel, void* info) override {
        return ::ChangeServiceConfig2A(service, infoLevel, info);
    }
    unsigned long WriteSettings(ServiceSettings const& settings) override { return WriteServiceSettings(settings); }
};

SystemRegistration g_systemRegistration;

std::string Failed(char const* what) { return std::string(what) + ": " + win32::DescribeWin32Error(::GetLastError()); }

}  // namespace
}  // namespace vandrel

template <>
vandrel::RegistrationApi* Seam<vandrel::RegistrationApi>::current_ = &vandrel::g_systemRegistration;

namespace vandrel {

RegistrationResult ApplyServiceExtras(SC_HANDLE service) {
    RegistrationApi& api = Seam<RegistrationApi>::Current();
    // The structures want writable strings.
    std::vector<char> description(std::begin(kDescription), std::end(kDescription));
    SERVICE_DESCRIPTIONA describe{description.data()};
    api.ChangeServiceConfig2(service, SERVICE_CONFIG_DESCRIPTION, &describe);  // cosmetic only

    SC_ACTION actions[std::size(kRestartDelaysMs)];
    for (size_t i = 0; i < std::size(kRestartDelaysMs); ++i) actions[i] = {SC_ACTION_RESTART, kRestartDelaysMs[i]};
    SERVICE_FAILURE_ACTIONSA failure{};
    failure.dwResetPeriod = kFailureResetSeconds;
    failure.cActions = static_cast<DWORD>(std::size(actions));
    failure.lpsaActions = actions;
    if (!api.ChangeServiceConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure))
        return {Failed("cannot set the service's recovery actions"), {}};

    // Hardening only: without it the service keeps LocalService's usual,
    // still small, set of privileges.
    std::vector<char> privileges(std::begin(kRequiredPrivileges), std::end(kRequiredPrivileges));
    SERVICE_REQUIRED_PRIVILEGES_INFOA required{privileges.data()};
    if (!api.ChangeServiceConfig2(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &required))
        return {{}, Failed("cannot narrow the service's privileges")};
    return {};
}

RegistrationResult UpdateRegistration(SC_HANDLE service, std::string const& binaryPath) {
    ServiceControlApi& scm = Seam<ServiceControlApi>::Current();
    if (!scm.ChangeServiceConfig(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                 binaryPath.c_str(), nullptr, nullptr, nullptr, kServiceAccount, "", nullptr))
        return {Failed("cannot update the service's registration"), {}};
    return ApplyServiceExtras(service);
}

}  // namespace vandrel
