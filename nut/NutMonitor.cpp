#include "nut/NutMonitor.h"

#include <algorithm>
#include <utility>

#include "nut/NutSession.h"

namespace nut {

std::uint64_t NutMonitor::SteadyClockMs() { return ::GetTickCount64(); }

NutMonitor::NutMonitor(UpsAddress address, MonitorTimeouts timeouts, Clock clock)
    : NutMonitor(std::move(address), Credentials(), timeouts, std::move(clock)) {}

NutMonitor::NutMonitor(UpsAddress address, Credentials credentials, MonitorTimeouts timeouts, Clock clock)
    : NutMonitor(std::move(address), std::move(credentials), TlsPolicy(), timeouts, std::move(clock)) {}

NutMonitor::NutMonitor(UpsAddress address, Credentials credentials, TlsPolicy tls, MonitorTimeouts timeouts,
                       Clock clock)
    : address_(std::move(address)),
      credentials_(std::move(credentials)),
      tls_(std::move(tls)),
      timeouts_(timeouts),
      clock_(std::move(clock)),
      session_(new Session) {
    std::vector<AddressProblem> const problems = CheckUpsAddress(address_);
    if (!problems.empty()) addressProblem_ = problems.front().message;
}

NutMonitor::~NutMonitor() = default;  // the session says LOGOUT

bool NutMonitor::Connected() const { return session_->Connected(); }

std::uint64_t NutMonitor::NextPollInMs(std::uint64_t intervalMs) const {
    return std::min(intervalMs, logic_.NextDecisionInMs(clock_()));
}

void NutMonitor::NotifyResumed() { resumed_ = true; }

UpsReading NutMonitor::Poll(HANDLE stop) {
    if (resumed_.exchange(false)) {
        Drop();
        logic_.OnResumed();
    }
    UpsReading reading = Ask(stop);
    if (!reading.answered) lastFailure_ = reading.failure;
    reading.statusWord = logic_.Decide(reading, clock_());
    reading.login = login_;
    reading.loginProblem = loginProblem_;
    reading.link = session_->Link();
    reading.loginSent = loginSent_;
    loginSent_ = false;
    return reading;
}

void NutMonitor::Drop() {
    session_->Close();
    login_ = LoginOutcome::NotAsked;
    loginProblem_.clear();
}

std::string NutMonitor::LogIn(HANDLE stop) {
    if (credentials_.user.empty()) return std::string();
    loginSent_ = true;
    return session_->LogInAs(credentials_, address_.upsName, ::GetTickCount64() + timeouts_.replyMs, stop, login_,
                             loginProblem_);
}

UpsReading NutMonitor::Ask(HANDLE stop) {
    if (!addressProblem_.empty()) return FailedReading(addressProblem_);

    if (!session_->Connected()) {
        // Backing off: say why the last try failed, at once.
        if (!logic_.ConnectDue(clock_())) return FailedReading(lastFailure_);
        std::string const failure = session_->Connect(address_, ::GetTickCount64() + timeouts_.connectMs, stop, tls_);
        if (failure == kStoppedFailure) return FailedReading(failure);
        if (!failure.empty()) {
            logic_.OnConnectionFailed(clock_());
            return FailedReading(failure);
        }
    }

    // Anything but a well-formed reply leaves the stream out of step: drop
    // the connection and try again later.
    auto lose = [this](std::string const& failure) {
        Drop();
        if (failure != kStoppedFailure) logic_.OnConnectionFailed(clock_());
        return FailedReading(failure);
    };

    std::string failure;
    if (login_ == LoginOutcome::NotAsked) {
        failure = LogIn(stop);
        if (!failure.empty()) return lose(failure);
    }

    // One list a poll, the runtime and the rest in it: one round trip.
    VarList list;
    failure = session_->ListVars(address_.upsName, ::GetTickCount64() + timeouts_.replyMs, stop, list);
    if (!failure.empty()) return lose(failure);
    logic_.OnServerAnswered();
    return ReadingFromList(list);
}

}  // namespace nut
