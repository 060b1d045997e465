// What the status area at the top of the dialog says: the service's last
// reading and its recent events, worded by the program's strings. Plain
// decisions over what was read; the dialog only puts the texts in place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "configurator/ConfigForm.h"
#include "contract/StatusBlockReader.h"
#include "service/RecentEvents.h"

namespace dellomark {

// One text per line of the area. A value the UPS does not report, or that
// no reading holds yet, is the "unknown" string, never a zero.
struct StatusTexts {
    std::string state;
    std::string charge;
    std::string runtime;
    std::string load;
    std::string inputVoltage;
    std::string outputVoltage;
    std::string model;
    std::string server;
    std::string protection;
};

// No block: the service is stopped. A block without a record (a service
// that writes none yet, or a damaged one): no reading yet. `nowUtc`
// (FILETIME ticks) counts down the protection's due time.
StatusTexts DescribeStatus(StatusRecordRead const& read, std::uint64_t nowUtc, TextLoader const& text);

// The protection's state in the program's words, with the service's detail;
// a due time as the whole seconds left, never fewer than there are.
std::string ProtectionText(ReadingRecord const& record, std::uint64_t nowUtc, TextLoader const& text);

// The state in words, from the service's word and NUT's status flags.
unsigned StateTextId(std::uint32_t statusWord, std::string const& nutStatus, bool answered);

// "12 min", "1 h 05 min".
std::string FormatRuntime(std::uint32_t seconds, TextLoader const& text);
// Tenths of a volt as "230.4 V".
std::string FormatVolts(std::uint32_t deciVolts, TextLoader const& text);

// "2026-12-10T05:30:00Z" as this PC's local time; as it came when it is not
// such a time.
using LocalTimeOf = std::function<std::wstring(std::wstring const& utc)>;
std::wstring LocalEventTime(std::wstring const& utc);

// One line per event, newest first, as the service keeps them.
std::wstring DescribeEvents(std::vector<vandrel::RecentEvent> const& events, LocalTimeOf const& localTime);

}  // namespace dellomark
