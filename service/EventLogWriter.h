// The service's record in the Windows Event Log, source "Vandrel Service".
#pragma once

#include <string>

#include "contract/ServiceContract.h"

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
    LinkRefused,
    LoginInClear,
    ReplaceBattery,
    ForcedShutdown,
    NoCommunication,
    EventCommandFailed,
};

// Records `event`, with `detail` for people (may be empty), in the Event
// Log and among the State key's recent events (service/RecentEvents.h).
// Never fails loudly: a service that cannot log still protects the PC. Any
// thread may call it.
void ReportServiceEvent(ServiceEvent event, std::string const& detail = std::string());

// The event's message as the Event Log shows it, in the system's language.
std::wstring EventText(ServiceEvent event, std::string const& detail);

// What ReportEventW is given for an event: its message in the table, and
// its type (EVENTLOG_ERROR_TYPE, _WARNING_TYPE or _INFORMATION_TYPE), which
// follows the severity VandrelMessages.mc gives the message.
struct EventRecord {
    unsigned long messageId;
    unsigned short type;
};
EventRecord RecordOf(ServiceEvent event);


// Registers the source with the running executable as its message file;
// ERROR_SUCCESS or why not. install and config call it, so the source
// follows the copy that was last set up, like the service's binary path.
unsigned long RegisterEventSourceHere();

// ERROR_SUCCESS also when there was no registration.
unsigned long UnregisterEventSource();

}  // namespace vandrel
