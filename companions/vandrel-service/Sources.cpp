#include "companions/vandrel-service/Sources.h"

#include <utility>

#include "companions/common/Win32Error.h"
#include "companions/common/Credentials.h"

namespace vandrel {
namespace {

LoginState ToLoginState(nut::LoginOutcome outcome) {
    switch (outcome) {
    case nut::LoginOutcome::LoggedIn: return LoginState::LoggedIn;
    case nut::LoginOutcome::Refused: return LoginState::Refused;
    default: return LoginState::NotAsked;
    }
}

}  // namespace

NutUpsSource::NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs, nut::Credentials credentials)
    : monitor_(ups, std::move(credentials)), pollMs_(pollMs) {}

NutUpsSource::NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs, std::string problem)
    : monitor_(ups), pollMs_(pollMs), loginProblem_(std::move(problem)) {}

SourceReading NutUpsSource::Next(HANDLE stop) {
    nut::UpsReading const reading = monitor_.Poll(stop);
    SourceReading out;
    out.statusWord = reading.statusWord;
    out.charge = reading.charge;
    out.runtimeSeconds = reading.runtimeSeconds;
    out.upsStatus = reading.status;
    out.answered = reading.answered;
    alert_ = reading.answered && nut::NeedsAlertPolling(reading.status);
    out.login = ToLoginState(reading.login);
    out.loginProblem = reading.loginProblem;
    if (!loginProblem_.empty()) {
        out.login = LoginState::Refused;
        out.loginProblem = loginProblem_;
    }
    return out;
}

std::unique_ptr<UpsSource> MakeUnusableSettingsSource() { return std::make_unique<FixedUpsSource>(kWordNoConnection); }

std::unique_ptr<UpsSource> MakeSource(ServiceSettings const& settings) {
    if (ValidateSettings(settings).failed()) return MakeUnusableSettingsSource();
    if (settings.source == SourceKind::Nut) {
        ProtectionSettings const& protection = settings.protection;
        if (protection.mode != ShutdownMode::Critical || protection.login.empty())
            return std::make_unique<NutUpsSource>(settings.ups, settings.pollMs);
        nut::Credentials credentials{protection.login, std::string()};
        unsigned long const error = ReadPassword(credentials.password);
        if (error != ERROR_SUCCESS)
            return std::make_unique<NutUpsSource>(
                settings.ups, settings.pollMs,
                "the stored password cannot be read: " + companions::DescribeWin32Error(error));
        return std::make_unique<NutUpsSource>(settings.ups, settings.pollMs, std::move(credentials));
    }
    SimulationSettings const& simulation = settings.simulation;
    if (!simulation.script.empty())
        return std::make_unique<ScriptedUpsSource>(simulation.script, simulation.scriptStepMs);
    return std::make_unique<FixedUpsSource>(simulation.statusWord);
}

}  // namespace vandrel
