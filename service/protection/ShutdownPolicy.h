// When this PC must shut down for its UPS, and when to call that off: the
// decisions alone, over the readings and a clock the caller passes in.
// ProtectionController applies them. The rules are a NUT secondary's:
//  - Critical (the primary is going down and will cut the power): FSD; OB
//    and LB together for HOSTSYNC without FSD, unless calibrating; the
//    server silent for the dead time while the UPS was last on battery.
//    Shut down after the final delay; never called off, whatever comes
//    after (the power back, protection turned off, unusable settings),
//    until the machine resumes from a sleep.
//  - Early (a rule of this PC's own): the time on battery, the charge, the
//    runtime. Shut down after the grace; called off when the power returns
//    before it ends, protection is turned off, or the service is stopped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contract/StatusRecord.h"
#include "service/EventLogWriter.h"
#include "service/feed/UpsSource.h"
#include "service/settings/ServiceSettings.h"

namespace vandrel {

// How long a server may stay silent while the UPS was last on battery
// before the battery is taken for spent: three polls, and never less than
// a NUT monitor's 15 s dead time.
uint64_t DeadTimeMs(uint32_t pollMs);

enum class ProtectionAction {
    None,
    Initiate,   // warn, then ask Windows to shut down (or count down to hibernation)
    Hibernate,  // the count-down to hibernation is over
    Cancel,     // call off the shutdown Windows is counting down
};

enum class ShutdownUrgency { Early, Critical };

struct ProtectionEvent {
    ServiceEvent event;
    std::string detail;
};

// What to do about one reading.
struct ProtectionStep {
    ProtectionAction action = ProtectionAction::None;
    ShutdownUrgency urgency = ShutdownUrgency::Early;  // Initiate
    uint32_t delaySeconds = 0;            // Initiate: the count-down
    std::string reason;                   // Initiate, Cancel: why, for people
    std::vector<ProtectionEvent> events;  // what changed with this reading
};

// What the protection does now, for readers that word it themselves.
struct ProtectionSummary {
    ProtectionState state = kProtectionOff;
    std::string detail;  // as ProtectionState says, in English
    uint64_t dueMs = 0;  // on the policy's clock: when the shutdown or the wait ends; 0: none
};

class ShutdownPolicy {
public:
    explicit ShutdownPolicy(ProtectionSettings const& settings = ProtectionSettings(),
                            uint32_t pollMs = kDefaultPollMs);

    // Takes effect with the next reading. A shutdown under way stays.
    void SetSettings(ProtectionSettings const& settings, uint32_t pollMs);
    ProtectionSettings const& Settings() const { return settings_; }
    // The shutdown under way is a hibernation (until one fails).
    bool Hibernating() const { return hibernating_; }

    ProtectionStep Observe(SourceReading const& reading, uint64_t nowMs);

    // What came of the last Initiate: `refusal` empty when Windows took it,
    // else its error for people. The events to record: a refusal only when
    // it differs from the one before, since a refused shutdown is retried
    // with every reading.
    std::vector<ProtectionEvent> Initiated(std::string const& refusal);

    // Hibernation failed with `failure`; the caller has asked Windows to
    // shut down instead, and `refusal` is what came of that as above.
    std::vector<ProtectionEvent> HibernationFailed(std::string const& failure, std::string const& refusal);

    // The machine is back from a sleep (its own hibernation among them):
    // whatever was started is over, and nothing heard before counts.
    void Resumed(uint64_t nowMs);

    // The service is stopping: true when an early shutdown Windows counts
    // down must be called off (not when Windows itself is shutting down).
    bool CallOffOnStop(bool windowsShuttingDown);

    ProtectionSummary Summary() const;

    // For `status`: "off", "armed (critical, login mon)", "armed, not logged
    // in: <why>", "battery low: waiting up to 15 s for the primary",
    // "initiated (battery low)[, Windows refused: <error>]", "cancelled
    // (power back)".
    std::string StatusLine() const;

private:
    enum class Power { Unknown, OnLine, OnBattery };
    enum class Reach { Unknown, Answered, Silent };
    enum class Phase { Armed, Initiated, Refused, Cancelled };

    void Track(SourceReading const& reading, uint64_t nowMs, std::vector<ProtectionEvent>& events);
    void TrackLink(SourceReading const& reading, std::vector<ProtectionEvent>& events);
    std::string CriticalReason(SourceReading const& reading, uint64_t nowMs) const;
    std::string EarlyReason(SourceReading const& reading, uint64_t nowMs) const;
    void Start(ProtectionStep& step, ShutdownUrgency urgency, std::string const& reason, uint64_t nowMs);
    void Retry(ProtectionStep& step, uint64_t nowMs);
    void CallOff(ProtectionStep& step, std::string const& reason, uint64_t nowMs);
    uint64_t DelayMs() const;  // of the shutdown under way

    ProtectionSettings settings_;
    uint64_t deadTimeMs_;
    Power power_ = Power::Unknown;
    Reach reach_ = Reach::Unknown;
    bool batteryLow_ = false;
    bool forced_ = false;          // the last reading said FSD
    bool replaceBattery_ = false;  // the last reading said RB
    uint64_t silentSinceMs_ = 0;
    bool longSilenceTold_ = false;
    bool powerBack_ = false;      // the last reading: on line, neither low nor forced
    bool lowOnBattery_ = false;   // OB and LB, not calibrating: critical after HOSTSYNC
    uint64_t lowSinceMs_ = 0;
    uint64_t lastAnsweredMs_ = 0;
    uint64_t onBatterySinceMs_ = 0;
    LoginState login_ = LoginState::NotAsked;
    std::string loginProblem_;
    std::string linkRefusal_;  // the last reading's, told already
    Phase phase_ = Phase::Armed;
    ShutdownUrgency urgency_ = ShutdownUrgency::Early;
    std::string reason_;
    std::string refusal_;
    std::string hibernationFailure_;
    std::string cancelReason_;
    bool hibernating_ = false;     // the shutdown under way is a hibernation
    bool hibernationDue_ = false;  // its count-down runs
    uint64_t initiatedMs_ = 0;
};

}  // namespace vandrel
