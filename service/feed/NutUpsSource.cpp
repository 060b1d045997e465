#include "service/feed/NutUpsSource.h"

#include <utility>

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

NutUpsSource::NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs, nut::TlsPolicy const& tls,
                           nut::Credentials credentials)
    : monitor_(ups, std::move(credentials), tls), pollMs_(pollMs) {}

NutUpsSource::NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs, nut::TlsPolicy const& tls, std::string problem)
    : monitor_(ups, nut::Credentials(), tls), pollMs_(pollMs), loginProblem_(std::move(problem)) {}

SourceReading NutUpsSource::Next(HANDLE stop) {
    nut::UpsReading const reading = monitor_.Poll(stop);
    SourceReading out;
    out.statusWord = reading.statusWord;
    out.charge = reading.charge;
    out.runtimeSeconds = reading.runtimeSeconds;
    out.loadPercent = reading.loadPercent;
    out.inputVoltageTenths = reading.inputVoltageTenths;
    out.outputVoltageTenths = reading.outputVoltageTenths;
    out.maker = reading.maker;
    out.model = reading.model;
    out.upsStatus = reading.status;
    out.answered = reading.answered;
    alert_ = reading.answered && nut::NeedsAlertPolling(reading.status);
    out.login = ToLoginState(reading.login);
    out.loginProblem = reading.loginProblem;
    out.failure = reading.failure;
    out.server = nut::FormatUpsAddress(monitor_.Address());
    out.link = reading.link;
    out.loginSentInClear = reading.loginSent && !reading.link.encrypted;
    if (!loginProblem_.empty()) {
        out.login = LoginState::Refused;
        out.loginProblem = loginProblem_;
    }
    return out;
}

}  // namespace vandrel
