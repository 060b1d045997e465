// Shuts this PC down before the UPS battery runs out: feeds each reading to
// ShutdownPolicy on the real clock, carries out what it decides through
// ShutdownApi, and is the one place that records the power's transitions
// (on battery, power back, battery low, communication, login, shutdown) in
// the event log.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "service/feed/StatusFeed.h"
#include "service/notify/PowerNotices.h"
#include "service/protection/ShutdownPolicy.h"
#include "service/settings/ServiceSettings.h"

namespace vandrel {

// The protection a service's settings ask for: none for settings it cannot
// use, and none for a simulation, which never shuts a real PC down.
ProtectionSettings ProtectionFor(std::optional<ServiceSettings> const& settings);

class ProtectionController final : public FeedObserver {
public:
    // `publishLine` gets the status line at once and whenever it changes.
    using LinePublisher = void (*)(std::string const& line);
    ProtectionController(std::optional<ServiceSettings> const& settings, LinePublisher publishLine);

    // Any thread; the next reading is judged by these.
    void TakeSettings(std::optional<ServiceSettings> const& settings);

    // The feed's worker thread.
    void OnReading(SourceReading const& reading) override;
    void OnResumed() override;
    ProtectionShown Protection() override { return shown_; }

    // Once the feed's worker has ended: calls off an early shutdown that
    // Windows counts down, unless Windows itself is shutting down.
    void OnServiceStopping(bool windowsShuttingDown);

private:
    void Report(std::vector<ProtectionEvent> const& events);
    void TellPeople();
    std::string Initiate(ProtectionStep const& step);
    void Hibernate();
    void Cancel(std::string const& reason);
    void Publish();

    struct Pending {
        ProtectionSettings protection;
        uint32_t pollMs;
        EventSettings events;
        std::string upsName;
    };
    std::mutex settingsLock_;
    std::optional<Pending> newSettings_;
    ShutdownPolicy policy_;  // the worker's, as are the four below
    EventSettings events_;
    std::string upsName_;    // for an event command: "ups@host:3493"
    PowerNotices notices_;
    std::vector<ServiceEvent> reported_;  // of the reading under way
    LinePublisher publishLine_;
    std::string publishedLine_;
    ProtectionShown shown_;
    uint64_t shownDueMs_ = 0;  // shown_.dueUtc on the policy's clock
};

}  // namespace vandrel
