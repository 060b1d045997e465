// The service's record in the Windows Event Log, source "Vandrel Service".
#pragma once

#include <string>

namespace vandrel {

enum class ServiceEvent {
    Started,
    Stopped,
    OnBattery,
    PowerBack,
    BatteryLow,
    CommunicationLost,
    CommunicationBack,
    SettingsUnusable,
    LoginRefused,
    ShutdownInitiated,
    ShutdownCancelled,
    ShutdownRefused,
};

// Records `event`, with `detail` for people (may be empty). Never fails
// loudly: a service that cannot log still protects the PC.
void ReportServiceEvent(ServiceEvent event, std::string const& detail = std::string());

}  // namespace vandrel
