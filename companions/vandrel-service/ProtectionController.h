// Shuts this PC down before the UPS battery runs out: feeds each reading to
// ShutdownPolicy on the real clock, carries out what it decides through
// ShutdownApi, and is the one place that records the power's transitions
// (on battery, power back, battery low, communication, login, shutdown) in
// the event log.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "companions/common/ServiceSettings.h"
#include "companions/vandrel-service/ShutdownPolicy.h"
#include "companions/vandrel-service/StatusFeed.h"

namespace vandrel {

class ProtectionController final : public FeedObserver {
public:
    // `publishLine` gets the status line at once and whenever it changes.
    using LinePublisher = void (*)(std::string const& line);
    ProtectionController(ProtectionSettings const& settings, LinePublisher publishLine);

    // Any thread; the next reading is judged by these.
    void TakeSettings(ProtectionSettings const& settings);

    // The feed's worker thread.
    void OnReading(SourceReading const& reading) override;

private:
    std::string Initiate(ProtectionSettings const& settings);
    void Cancel(std::string const& reason);
    void Publish();

    std::mutex settingsLock_;
    std::optional<ProtectionSettings> newSettings_;
    ShutdownPolicy policy_;  // the worker's
    LinePublisher publishLine_;
    std::string publishedLine_;
};

}  // namespace vandrel
