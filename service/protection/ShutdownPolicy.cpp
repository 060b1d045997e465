#include "service/protection/ShutdownPolicy.h"

#include <algorithm>

#include "nut/NutProtocol.h"

namespace vandrel {
namespace {

uint64_t const kMinDeadTimeMs = 15000;
// upsmon's NOCOMMWARNTIME: silence this long is worth saying again.
uint64_t const kNoCommunicationMs = 300000;

bool Has(SourceReading const& reading, char const* flag) {
    return reading.answered && nut::HasStatusFlag(reading.upsStatus, flag);
}

}  // namespace

uint64_t DeadTimeMs(uint32_t pollMs) { return std::max<uint64_t>(kMinDeadTimeMs, uint64_t{pollMs} * 3); }

ShutdownPolicy::ShutdownPolicy(ProtectionSettings const& settings, uint32_t pollMs)
    : settings_(settings), deadTimeMs_(DeadTimeMs(pollMs)) {}

void ShutdownPolicy::SetSettings(ProtectionSettings const& settings, uint32_t pollMs) {
    settings_ = settings;
    deadTimeMs_ = DeadTimeMs(pollMs);
}

// The events of a reading, and what the rules need to remember of it.
void ShutdownPolicy::Track(SourceReading const& reading, uint64_t nowMs, std::vector<ProtectionEvent>& events) {
    std::string const& status = reading.upsStatus;
    if (reading.answered) {
        if (reach_ == Reach::Silent) events.push_back({ServiceEvent::CommunicationBack, status});
        reach_ = Reach::Answered;
        lastAnsweredMs_ = nowMs;
        bool const lowNow = Has(reading, "LB");
        if (Has(reading, "OB")) {
            if (power_ != Power::OnBattery) {
                events.push_back({ServiceEvent::OnBattery, status});
                onBatterySinceMs_ = nowMs;
            }
            power_ = Power::OnBattery;
        } else if (Has(reading, "OL")) {
            if (power_ == Power::OnBattery) events.push_back({ServiceEvent::PowerBack, status});
            power_ = Power::OnLine;
        }
        if (lowNow && !batteryLow_) events.push_back({ServiceEvent::BatteryLow, status});
        batteryLow_ = lowNow;
        bool const forcedNow = Has(reading, "FSD");
        if (forcedNow && !forced_) events.push_back({ServiceEvent::ForcedShutdown, status});
        forced_ = forcedNow;
        bool const replaceNow = Has(reading, "RB");
        if (replaceNow && !replaceBattery_) events.push_back({ServiceEvent::ReplaceBattery, status});
        replaceBattery_ = replaceNow;
        powerBack_ = Has(reading, "OL") && !Has(reading, "OB") && !lowNow && !Has(reading, "FSD");
        // A calibration runs the battery down on purpose: not critical.
        bool const critical = Has(reading, "OB") && lowNow && !Has(reading, "CAL");
        if (critical && !lowOnBattery_) lowSinceMs_ = nowMs;
        lowOnBattery_ = critical;
    } else {
        if (reach_ != Reach::Silent) {
            events.push_back({ServiceEvent::CommunicationLost, reading.failure});
            silentSinceMs_ = nowMs;
            longSilenceTold_ = false;
        }
        if (!longSilenceTold_ && nowMs - silentSinceMs_ >= kNoCommunicationMs) {
            events.push_back({ServiceEvent::NoCommunication, reading.failure});
            longSilenceTold_ = true;
        }
        reach_ = Reach::Silent;
        powerBack_ = false;
    }
    if (reading.login == LoginState::Refused && login_ != LoginState::Refused)
        events.push_back({ServiceEvent::LoginRefused, reading.loginProblem});
    login_ = reading.login;
    loginProblem_ = reading.loginProblem;
    TrackLink(reading, events);
}

// A refusal is told once, until the link changes; a password sent in clear
// once per connection that sent it.
void ShutdownPolicy::TrackLink(SourceReading const& reading, std::vector<ProtectionEvent>& events) {
    nut::LinkState const& link = reading.link;
    if (!link.refusal.empty() && link.refusal != linkRefusal_) {
        std::string detail = link.refusal;
        if (!link.fingerprint.empty())
            detail += " (certificate " + link.subject + ", SHA-256 fingerprint " + link.fingerprint + ")";
        events.push_back({ServiceEvent::LinkRefused, detail});
    }
    linkRefusal_ = link.refusal;
    if (reading.loginSentInClear) events.push_back({ServiceEvent::LoginInClear, {}});
}

std::string ShutdownPolicy::CriticalReason(SourceReading const& reading, uint64_t nowMs) const {
    if (Has(reading, "FSD")) return "forced shutdown by the UPS's server";
    // The primary sets FSD once it sees the battery low; a secondary acts
    // alone only when the primary has not done so in time.
    if (reading.answered && lowOnBattery_ && nowMs - lowSinceMs_ >= uint64_t{settings_.hostsyncSeconds} * 1000)
        return "battery low";
    if (power_ == Power::OnBattery && !reading.answered && nowMs - lastAnsweredMs_ > deadTimeMs_)
        return "server unreachable while on battery";
    return {};
}

std::string ShutdownPolicy::EarlyReason(SourceReading const& reading, uint64_t nowMs) const {
    if (power_ != Power::OnBattery) return {};
    uint64_t const limitMs = uint64_t{settings_.onBatteryLimitSeconds} * 1000;
    if (limitMs != 0 && nowMs - onBatterySinceMs_ > limitMs)
        return "on battery > " + std::to_string(settings_.onBatteryLimitSeconds) + " s";
    // A UPS that does not report a value never trips its rule.
    uint32_t const chargeBelow = settings_.chargeBelowPercent;
    if (reading.answered && chargeBelow != 0 && reading.charge >= 0 && uint32_t(reading.charge) < chargeBelow)
        return "charge " + std::to_string(reading.charge) + " % < " + std::to_string(chargeBelow) + " %";
    uint32_t const runtimeBelow = settings_.runtimeBelowSeconds;
    if (reading.answered && runtimeBelow != 0 && reading.runtimeSeconds >= 0 &&
        uint32_t(reading.runtimeSeconds) < runtimeBelow)
        return "runtime " + std::to_string(reading.runtimeSeconds) + " s < " + std::to_string(runtimeBelow) + " s";
    return {};
}

uint64_t ShutdownPolicy::DelayMs() const {
    uint32_t const seconds =
        urgency_ == ShutdownUrgency::Critical ? settings_.finalDelaySeconds : settings_.graceSeconds;
    return uint64_t{seconds} * 1000;
}

void ShutdownPolicy::Start(ProtectionStep& step, ShutdownUrgency urgency, std::string const& reason,
                           uint64_t nowMs) {
    urgency_ = urgency;
    reason_ = reason;
    phase_ = Phase::Initiated;
    refusal_.clear();
    hibernationFailure_.clear();
    hibernating_ = settings_.action == ShutdownAction::Hibernate;
    hibernationDue_ = false;
    initiatedMs_ = nowMs;
    step.action = ProtectionAction::Initiate;
    step.urgency = urgency;
    step.delaySeconds = static_cast<uint32_t>(DelayMs() / 1000);
    step.reason = reason;
}

// What was started goes on: a refused call is made again (the count-down
// runs from the call Windows takes), a hibernation is made when its time
// is up.
void ShutdownPolicy::Retry(ProtectionStep& step, uint64_t nowMs) {
    if (phase_ == Phase::Refused) {
        initiatedMs_ = nowMs;
        step.action = ProtectionAction::Initiate;
        step.urgency = urgency_;
        step.delaySeconds = static_cast<uint32_t>(DelayMs() / 1000);
        step.reason = reason_;
    } else if (hibernationDue_ && nowMs - initiatedMs_ >= DelayMs()) {
        hibernationDue_ = false;
        step.action = ProtectionAction::Hibernate;
        step.reason = reason_;
    }
}

void ShutdownPolicy::CallOff(ProtectionStep& step, std::string const& reason, uint64_t nowMs) {
    bool const windowsCounts = phase_ == Phase::Initiated && !hibernating_;
    if (windowsCounts && nowMs - initiatedMs_ >= DelayMs()) {
        phase_ = Phase::Armed;  // too late: Windows is shutting down
        return;
    }
    if (windowsCounts) {
        step.action = ProtectionAction::Cancel;
        step.reason = reason;
    } else {
        // A refused call or a hibernation's count-down: nothing for Windows to undo.
        step.events.push_back({ServiceEvent::ShutdownCancelled, reason});
    }
    phase_ = Phase::Cancelled;
    cancelReason_ = reason;
    hibernationDue_ = false;
}

ProtectionStep ShutdownPolicy::Observe(SourceReading const& reading, uint64_t nowMs) {
    ProtectionStep step;
    Track(reading, nowMs, step.events);
    bool const underWay = phase_ == Phase::Initiated || phase_ == Phase::Refused;
    if (underWay && urgency_ == ShutdownUrgency::Critical) {
        Retry(step, nowMs);  // never called off
        return step;
    }
    if (settings_.mode == ShutdownMode::Off) {
        if (underWay) CallOff(step, "protection turned off", nowMs);
        phase_ = Phase::Armed;
        return step;
    }
    std::string const critical = CriticalReason(reading, nowMs);
    if (!critical.empty()) {
        Start(step, ShutdownUrgency::Critical, critical, nowMs);  // over an early one too
    } else if (underWay && powerBack_) {
        CallOff(step, "power back", nowMs);
    } else if (underWay) {
        Retry(step, nowMs);
    } else {
        std::string const early = EarlyReason(reading, nowMs);
        if (!early.empty()) Start(step, ShutdownUrgency::Early, early, nowMs);
    }
    return step;
}

std::vector<ProtectionEvent> ShutdownPolicy::Initiated(std::string const& refusal) {
    std::vector<ProtectionEvent> events;
    if (refusal.empty()) {
        phase_ = Phase::Initiated;
        hibernationDue_ = hibernating_;
        events.push_back({ServiceEvent::ShutdownInitiated, reason_});
    } else {
        if (refusal != refusal_) events.push_back({ServiceEvent::ShutdownRefused, reason_ + ": " + refusal});
        phase_ = Phase::Refused;
    }
    refusal_ = refusal;
    return events;
}

std::vector<ProtectionEvent> ShutdownPolicy::HibernationFailed(std::string const& failure,
                                                               std::string const& refusal) {
    hibernationFailure_ = failure;
    hibernating_ = false;
    hibernationDue_ = false;
    std::vector<ProtectionEvent> events{
        {ServiceEvent::ShutdownRefused, reason_ + ": hibernation failed: " + failure + "; shutting down instead"}};
    for (ProtectionEvent& event : Initiated(refusal)) events.push_back(std::move(event));
    return events;
}

void ShutdownPolicy::Resumed(uint64_t nowMs) {
    phase_ = Phase::Armed;
    hibernating_ = false;
    hibernationDue_ = false;
    refusal_.clear();
    hibernationFailure_.clear();
    // The sleep was not silence, nor time on battery, nor the primary's delay.
    lastAnsweredMs_ = nowMs;
    onBatterySinceMs_ = nowMs;
    lowSinceMs_ = nowMs;
    silentSinceMs_ = nowMs;
}

bool ShutdownPolicy::CallOffOnStop(bool windowsShuttingDown) {
    if (windowsShuttingDown || phase_ != Phase::Initiated || urgency_ != ShutdownUrgency::Early || hibernating_)
        return false;
    phase_ = Phase::Cancelled;
    cancelReason_ = "service stopped";
    return true;
}

ProtectionSummary ShutdownPolicy::Summary() const {
    bool const critical = urgency_ == ShutdownUrgency::Critical;
    if (settings_.mode == ShutdownMode::Off && !(critical && (phase_ == Phase::Initiated || phase_ == Phase::Refused)))
        return {};
    switch (phase_) {
    case Phase::Initiated:
        // After a failed hibernation Windows counts its own final delay.
        if (!hibernationFailure_.empty())
            return {kProtectionShuttingDown, reason_ + ", hibernation failed: " + hibernationFailure_};
        return {kProtectionShuttingDown, reason_, initiatedMs_ + DelayMs()};
    case Phase::Refused: return {kProtectionRefused, refusal_};
    case Phase::Cancelled: return {kProtectionCancelled, cancelReason_};
    case Phase::Armed: break;
    }
    if (lowOnBattery_)
        return {kProtectionWaitingForPrimary, std::string(), lowSinceMs_ + uint64_t{settings_.hostsyncSeconds} * 1000};
    if (login_ == LoginState::Refused) return {kProtectionNotLoggedIn, loginProblem_};
    std::string rules = "critical";
    if (settings_.onBatteryLimitSeconds != 0)
        rules += ", on battery > " + std::to_string(settings_.onBatteryLimitSeconds) + " s";
    if (settings_.chargeBelowPercent != 0) rules += ", charge < " + std::to_string(settings_.chargeBelowPercent) + " %";
    if (settings_.runtimeBelowSeconds != 0)
        rules += ", runtime < " + std::to_string(settings_.runtimeBelowSeconds) + " s";
    if (settings_.action == ShutdownAction::Hibernate) rules += ", hibernate";
    // Without a login the NUT primary does not wait for this PC.
    rules += settings_.login.empty() ? ", no login" : ", login " + settings_.login;
    return {kProtectionArmed, rules};
}

std::string ShutdownPolicy::StatusLine() const {
    ProtectionSummary const summary = Summary();
    switch (summary.state) {
    case kProtectionShuttingDown:
        if (!hibernationFailure_.empty())
            return "initiated (" + reason_ + "), hibernation failed: " + hibernationFailure_;
        return "initiated (" + reason_ + ")";
    case kProtectionRefused: return "initiated (" + reason_ + "), Windows refused: " + refusal_;
    case kProtectionCancelled: return "cancelled (" + cancelReason_ + ")";
    case kProtectionWaitingForPrimary:
        return "armed, battery low: waiting up to " + std::to_string(settings_.hostsyncSeconds) +
               " s for the primary's forced shutdown";
    case kProtectionNotLoggedIn: return "armed, not logged in: " + loginProblem_;
    case kProtectionArmed: return "armed (" + summary.detail + ")";
    default: return "off";
    }
}

}  // namespace vandrel
