#include "companions/vandrel-service/ShutdownPolicy.h"

#include <sstream>

namespace vandrel {
namespace {

// NUT's status is a list of flags: "OB DISCHRG LB".
bool HasFlag(std::string const& status, char const* flag) {
    std::istringstream words(status);
    std::string word;
    while (words >> word)
        if (word == flag) return true;
    return false;
}

}  // namespace

std::string ShutdownPolicy::CriticalReason(SourceReading const& reading, uint64_t nowMs) const {
    if (reading.answered && HasFlag(reading.upsStatus, "FSD")) return "forced shutdown by the UPS's server";
    if (reading.answered && HasFlag(reading.upsStatus, "OB") && HasFlag(reading.upsStatus, "LB"))
        return "battery low";
    if (power_ != Power::OnBattery) return {};
    if (!reading.answered && nowMs - lastAnsweredMs_ > kUnreachableLimitMs)
        return "server unreachable while on battery";
    uint64_t const limitMs = uint64_t{settings_.onBatteryLimitSeconds} * 1000;
    if (limitMs != 0 && nowMs - onBatterySinceMs_ > limitMs)
        return "on battery > " + std::to_string(settings_.onBatteryLimitSeconds) + " s";
    return {};
}

ProtectionStep ShutdownPolicy::Observe(SourceReading const& reading, uint64_t nowMs) {
    ProtectionStep step;
    std::string const& status = reading.upsStatus;
    bool powerBack = false;
    if (reading.answered) {
        if (reach_ == Reach::Silent) step.events.push_back({ServiceEvent::CommunicationBack, status});
        reach_ = Reach::Answered;
        lastAnsweredMs_ = nowMs;
        bool const lowNow = HasFlag(status, "LB");
        if (HasFlag(status, "OB")) {
            if (power_ != Power::OnBattery) {
                step.events.push_back({ServiceEvent::OnBattery, status});
                onBatterySinceMs_ = nowMs;
            }
            power_ = Power::OnBattery;
        } else if (HasFlag(status, "OL")) {
            if (power_ == Power::OnBattery) step.events.push_back({ServiceEvent::PowerBack, status});
            power_ = Power::OnLine;
            powerBack = !lowNow && !HasFlag(status, "FSD");
        }
        if (lowNow && !batteryLow_) step.events.push_back({ServiceEvent::BatteryLow, status});
        batteryLow_ = lowNow;
    } else if (reach_ != Reach::Silent) {
        step.events.push_back({ServiceEvent::CommunicationLost, {}});
        reach_ = Reach::Silent;
    }
    if (reading.login == LoginState::Refused && login_ != LoginState::Refused)
        step.events.push_back({ServiceEvent::LoginRefused, reading.loginProblem});
    login_ = reading.login;
    loginProblem_ = reading.loginProblem;

    // Hibernation is at once: there is no grace time to call off.
    uint64_t const graceMs =
        settings_.action == ShutdownAction::Hibernate ? 0 : uint64_t{settings_.graceSeconds} * 1000;
    bool const inGrace = phase_ == Phase::Initiated && nowMs - initiatedMs_ < graceMs;
    if (settings_.mode == ShutdownMode::Off) {
        if (inGrace) {
            step.action = ProtectionAction::Cancel;
            step.reason = "protection turned off";
        }
        phase_ = Phase::Armed;
        return step;
    }
    std::string const reason = CriticalReason(reading, nowMs);
    switch (phase_) {
    case Phase::Armed:
    case Phase::Cancelled:
        if (reason.empty()) break;
        step.action = ProtectionAction::Initiate;
        phase_ = Phase::Initiated;
        reason_ = reason;
        refusal_.clear();
        initiatedMs_ = nowMs;
        break;
    case Phase::Refused:
        // Windows never took it: nothing to call off but the retries.
        if (powerBack) {
            phase_ = Phase::Cancelled;
            step.events.push_back({ServiceEvent::ShutdownCancelled, "power back"});
        } else if (!reason.empty()) {
            step.action = ProtectionAction::Initiate;
            initiatedMs_ = nowMs;  // the grace runs from the call Windows takes
        }
        break;
    case Phase::Initiated:
        if (!powerBack) break;
        if (inGrace) {
            step.action = ProtectionAction::Cancel;
            step.reason = "power back";
        }
        phase_ = inGrace ? Phase::Cancelled : Phase::Armed;
        break;
    }
    if (step.action == ProtectionAction::Initiate) step.reason = reason_;
    return step;
}

std::vector<ProtectionEvent> ShutdownPolicy::Initiated(std::string const& refusal) {
    std::vector<ProtectionEvent> events;
    if (refusal.empty()) {
        phase_ = Phase::Initiated;
        events.push_back({ServiceEvent::ShutdownInitiated, reason_});
    } else {
        if (refusal != refusal_) events.push_back({ServiceEvent::ShutdownRefused, reason_ + ": " + refusal});
        phase_ = Phase::Refused;
    }
    refusal_ = refusal;
    return events;
}

std::string ShutdownPolicy::StatusLine() const {
    if (settings_.mode == ShutdownMode::Off) return "off";
    switch (phase_) {
    case Phase::Initiated: return "initiated (" + reason_ + ")";
    case Phase::Refused: return "initiated (" + reason_ + "), Windows refused: " + refusal_;
    case Phase::Cancelled: return "cancelled (power back)";
    case Phase::Armed: break;
    }
    if (login_ == LoginState::Refused) return "armed, not logged in: " + loginProblem_;
    std::string line = "armed (critical";
    if (settings_.onBatteryLimitSeconds != 0)
        line += ", on battery > " + std::to_string(settings_.onBatteryLimitSeconds) + " s";
    if (settings_.action == ShutdownAction::Hibernate) line += ", hibernate";
    // Without a login the NUT primary does not wait for this PC.
    line += settings_.login.empty() ? ", no login" : ", login " + settings_.login;
    return line + ")";
}

}  // namespace vandrel
