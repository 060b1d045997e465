// When this PC must shut down for its UPS, and when to call that off: the
// decisions alone, over the readings and a clock the caller passes in.
// ProtectionController applies them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companions/common/ServiceSettings.h"
#include "companions/vandrel-service/ServiceEvents.h"
#include "companions/vandrel-service/UpsSource.h"

namespace vandrel {

// A server silent for longer than this while the UPS was last on battery:
// the battery is taken for spent, as a NUT secondary's monitor takes it.
uint64_t const kUnreachableLimitMs = 15000;

enum class ProtectionAction { None, Initiate, Cancel };

struct ProtectionEvent {
    ServiceEvent event;
    std::string detail;
};

// What to do about one reading.
struct ProtectionStep {
    ProtectionAction action = ProtectionAction::None;
    std::string reason;                   // Initiate, Cancel: why, for people
    std::vector<ProtectionEvent> events;  // what changed with this reading
};

class ShutdownPolicy {
public:
    explicit ShutdownPolicy(ProtectionSettings const& settings = ProtectionSettings()) : settings_(settings) {}

    // Takes effect with the next reading. Turning protection off calls off
    // a shutdown still in its grace time.
    void SetSettings(ProtectionSettings const& settings) { settings_ = settings; }
    ProtectionSettings const& Settings() const { return settings_; }

    ProtectionStep Observe(SourceReading const& reading, uint64_t nowMs);

    // What came of the last Initiate: `refusal` empty when Windows took it,
    // else its error for people. The events to record: a refusal only when
    // it differs from the one before, since a refused shutdown is retried
    // with every reading.
    std::vector<ProtectionEvent> Initiated(std::string const& refusal);

    // For `status`: "off", "armed (critical, login mon)", "armed, not logged
    // in: <why>", "initiated (battery low)[, Windows refused: <error>]",
    // "cancelled (power back)".
    std::string StatusLine() const;

private:
    enum class Power { Unknown, OnLine, OnBattery };
    enum class Reach { Unknown, Answered, Silent };
    enum class Phase { Armed, Initiated, Refused, Cancelled };

    std::string CriticalReason(SourceReading const& reading, uint64_t nowMs) const;

    ProtectionSettings settings_;
    Power power_ = Power::Unknown;
    Reach reach_ = Reach::Unknown;
    bool batteryLow_ = false;
    uint64_t lastAnsweredMs_ = 0;
    uint64_t onBatterySinceMs_ = 0;
    LoginState login_ = LoginState::NotAsked;
    std::string loginProblem_;
    Phase phase_ = Phase::Armed;
    std::string reason_;
    std::string refusal_;
    uint64_t initiatedMs_ = 0;
};

}  // namespace vandrel
