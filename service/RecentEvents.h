// The service's last events where the configuration program can read them:
// the State key's "RecentEvents", a REG_MULTI_SZ of at most kMaxRecentEvents
// entries, newest first, each "2026-12-10T05:30:00Z<TAB>OnBattery<TAB>text",
// the time in UTC and the text in the system's language.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/EventLogWriter.h"

namespace vandrel {

std::size_t const kMaxRecentEvents = 20;

struct RecentEvent {
    std::wstring when;  // "2026-12-10T05:30:00Z"
    std::wstring kind;  // "OnBattery"
    std::wstring text;
};

// "OnBattery", "CommunicationLost"...: a name that stays, whatever the language.
wchar_t const* EventKindName(ServiceEvent event);

// The list with `entry` in front, cut to kMaxRecentEvents.
std::vector<std::wstring> WithNewest(std::vector<std::wstring> entries, std::wstring const& entry);

std::wstring FormatRecentEvent(RecentEvent const& event);
// False for a line that is not one of the above (a hand-edited value).
bool ParseRecentEvent(std::wstring const& line, RecentEvent& out);

// A REG_MULTI_SZ's characters and back; an entry never holds a NUL.
std::vector<std::wstring> SplitMultiString(std::wstring const& value);
std::wstring JoinMultiString(std::vector<std::wstring> const& entries);

// The service: puts the event in front of the key's list. Silent when the
// key cannot be written (not installed, no rights).
void RecordRecentEvent(ServiceEvent event, std::wstring const& text);

// The configuration program: newest first; empty when there are none.
std::vector<RecentEvent> ReadRecentEvents();

}  // namespace vandrel
