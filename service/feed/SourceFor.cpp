#include "service/feed/SourceFor.h"

#include <utility>

#include "service/feed/NutUpsSource.h"
#include "service/feed/SimulatedUpsSource.h"
#include "service/settings/StoredPassword.h"
#include "win32/Win32Error.h"

namespace vandrel {

std::unique_ptr<UpsSource> MakeUnusableSettingsSource() { return std::make_unique<FixedUpsSource>(kWordNoConnection); }

std::unique_ptr<UpsSource> MakeSource(ServiceSettings const& settings) {
    if (ValidateSettings(settings).failed()) return MakeUnusableSettingsSource();
    if (settings.source == SourceKind::Nut) {
        ProtectionSettings const& protection = settings.protection;
        if (protection.mode != ShutdownMode::Critical || protection.login.empty())
            return std::make_unique<NutUpsSource>(settings.ups, settings.pollMs, settings.tls);
        nut::Credentials credentials{protection.login, SecretString()};
        unsigned long const error = ReadPassword(credentials.password);
        if (error != ERROR_SUCCESS)
            return std::make_unique<NutUpsSource>(
                settings.ups, settings.pollMs, settings.tls,
                "the stored password cannot be read: " + win32::DescribeWin32Error(error));
        return std::make_unique<NutUpsSource>(settings.ups, settings.pollMs, settings.tls, std::move(credentials));
    }
    SimulationSettings const& simulation = settings.simulation;
    if (!simulation.script.empty())
        return std::make_unique<ScriptedUpsSource>(simulation.script, simulation.scriptStepMs);
    return std::make_unique<FixedUpsSource>(simulation.statusWord);
}

}  // namespace vandrel
