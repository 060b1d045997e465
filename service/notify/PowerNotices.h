// What the people logged on hear of the UPS's events with notify "all"
// (with "critical" they hear of a shutdown only, from the protection), and
// NUT's names of the events, by which an event command tells them apart.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "service/EventLogWriter.h"
#include "service/protection/ShutdownApi.h"

namespace vandrel {

// As NUT's upsmon names them to its NOTIFYCMD in NOTIFYTYPE.
enum class NotifyType { Online, OnBatt, LowBatt, Fsd, CommOk, CommBad, Shutdown, ReplBatt, NoComm };

// None for the service's own events (its start, its settings...).
std::optional<NotifyType> NotifyTypeOf(ServiceEvent event);
char const* NotifyTypeName(NotifyType type);  // "ONBATT"

// A power failure shorter than this, on line before and after, is not
// worth a message.
uint64_t const kPowerBlipMs = 5000;
// How long a notice stays on screen unanswered.
DWORD const kNoticeSeconds = 60;

class PowerNotices {
public:
    // The events of a reading taken at `nowMs`: those to tell now. A power
    // failure is told once it has lasted kPowerBlipMs (or at once when the
    // battery is low meanwhile); a shorter one is not told, nor its end.
    std::vector<ServiceEvent> Take(std::vector<ServiceEvent> const& events, uint64_t nowMs);

private:
    std::optional<uint64_t> failedAtMs_;  // a power failure not told yet
    bool failureTold_ = false;
};

// The message box for `event`, in Japanese where Windows' own language is,
// else in English.
SessionWarning NoticeFor(LANGID uiLanguage, ServiceEvent event);

}  // namespace vandrel
