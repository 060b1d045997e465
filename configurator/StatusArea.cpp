#include "configurator/StatusArea.h"

#include <windows.h>

#include <cwchar>
#include <sstream>

#include "configurator/resource.h"

namespace dellomark {

namespace {

bool HasToken(std::string const& status, char const* token) {
    std::istringstream words(status);
    std::string word;
    while (words >> word)
        if (word == token) return true;
    return false;
}

std::string StateText(ReadingRecord const& record, std::uint32_t statusWord, TextLoader const& text) {
    unsigned const id = StateTextId(statusWord, record.status, record.Has(kReadingAnswered));
    std::string state = id != 0 ? text(id) : record.status;
    if (id == IDS_STATE_NO_CONNECTION) return state;  // the flags are of an old reading
    if (HasToken(record.status, "CHRG")) state = Substitute(text(IDS_STATE_CHARGING), {state});
    if (HasToken(record.status, "RB")) state = Substitute(text(IDS_STATE_REPLACE_BATTERY), {state});
    return state;
}

std::string ModelText(ReadingRecord const& record) {
    if (record.manufacturer.empty() || record.model.empty()) return record.manufacturer + record.model;
    return record.manufacturer + " " + record.model;
}

std::string ServerText(ReadingRecord const& record, TextLoader const& text) {
    unsigned const id = !record.Has(kReadingEncrypted) ? IDS_SERVER_NOT_ENCRYPTED
                        : record.Has(kReadingVerified) ? IDS_SERVER_VERIFIED
                                                       : IDS_SERVER_NOT_VERIFIED;
    return Substitute(text(id), {record.server});
}

std::string OrUnknown(std::string value, TextLoader const& text) {
    return value.empty() ? text(IDS_VALUE_UNKNOWN) : value;
}

}  // namespace

unsigned StateTextId(std::uint32_t statusWord, std::string const& nutStatus, bool answered) {
    if (!answered || statusWord == kWordNoConnection) return IDS_STATE_NO_CONNECTION;
    if (statusWord == kWordBatteryLow || HasToken(nutStatus, "LB")) return IDS_STATE_BATTERY_LOW;
    if (statusWord == kWordOnBattery || HasToken(nutStatus, "OB")) return IDS_STATE_ON_BATTERY;
    if (statusWord == kWordOnLine || HasToken(nutStatus, "OL")) return IDS_STATE_ON_LINE;
    return 0;  // a status of its own: shown as the server put it
}

std::string FormatRuntime(std::uint32_t seconds, TextLoader const& text) {
    std::uint32_t const minutes = seconds / 60;  // rounded down: never more time than there is
    if (minutes < 60) return Substitute(text(IDS_RUNTIME_MINUTES), {std::to_string(minutes)});
    std::string const rest = std::to_string(100 + minutes % 60).substr(1);
    return Substitute(text(IDS_RUNTIME_HOURS), {std::to_string(minutes / 60), rest});
}

std::string FormatVolts(std::uint32_t deciVolts, TextLoader const& text) {
    return Substitute(text(IDS_VOLTS), {std::to_string(deciVolts / 10) + "." + std::to_string(deciVolts % 10)});
}

std::string ProtectionText(ReadingRecord const& record, std::uint64_t nowUtc, TextLoader const& text) {
    std::uint64_t const ticksPerSecond = 10000000;
    std::uint64_t const due = record.protectionDueUtc;
    std::string const left = std::to_string(due > nowUtc ? (due - nowUtc + ticksPerSecond - 1) / ticksPerSecond : 0);
    std::string const& detail = record.protectionDetail;
    switch (record.protectionState) {
    case kProtectionOff: return text(IDS_PROTECTION_OFF);
    case kProtectionArmed: return Substitute(text(IDS_PROTECTION_ARMED), {detail});
    case kProtectionNotLoggedIn: return Substitute(text(IDS_PROTECTION_NOT_LOGGED_IN), {detail});
    case kProtectionWaitingForPrimary: return Substitute(text(IDS_PROTECTION_WAITING), {left});
    case kProtectionShuttingDown:
        if (due == 0) return Substitute(text(IDS_PROTECTION_SHUTTING_DOWN), {detail});
        return Substitute(text(IDS_PROTECTION_SHUTTING_DOWN_IN), {left, detail});
    case kProtectionRefused: return Substitute(text(IDS_PROTECTION_REFUSED), {detail});
    case kProtectionCancelled: return Substitute(text(IDS_PROTECTION_CANCELLED), {detail});
    default: return OrUnknown(detail, text);  // a later service's state: its words at least
    }
}

StatusTexts DescribeStatus(StatusRecordRead const& read, std::uint64_t nowUtc, TextLoader const& text) {
    std::string const unknown = text(IDS_VALUE_UNKNOWN);
    StatusTexts out{unknown, unknown, unknown, unknown, unknown, unknown, unknown, unknown, unknown};
    if (read.block.outcome == StatusBlockRead::kMissing) {
        out.state = text(IDS_STATE_SERVICE_STOPPED);
        return out;
    }
    if (!read.hasRecord) {
        out.state = text(IDS_STATE_NO_READING);
        return out;
    }
    ReadingRecord const& record = read.record;
    auto percent = [&](std::uint32_t value) { return Substitute(text(IDS_PERCENT), {std::to_string(value)}); };
    out.state = OrUnknown(StateText(record, read.block.words.statusWord, text), text);
    if (record.Has(kReadingHasCharge)) out.charge = percent(record.charge);
    if (record.Has(kReadingHasRuntime)) out.runtime = FormatRuntime(record.runtimeSeconds, text);
    if (record.Has(kReadingHasLoad)) out.load = percent(record.load);
    if (record.Has(kReadingHasInputVoltage)) out.inputVoltage = FormatVolts(record.inputDeciVolts, text);
    if (record.Has(kReadingHasOutputVoltage)) out.outputVoltage = FormatVolts(record.outputDeciVolts, text);
    out.model = OrUnknown(ModelText(record), text);
    if (!record.server.empty()) out.server = ServerText(record, text);
    out.protection = ProtectionText(record, nowUtc, text);
    return out;
}

std::wstring LocalEventTime(std::wstring const& utc) {
    SYSTEMTIME universal{};
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    wchar_t zone = 0;
    if (std::swscanf(utc.c_str(), L"%4u-%2u-%2uT%2u:%2u:%2u%lc", &year, &month, &day, &hour, &minute, &second,
                     &zone) != 7 || zone != L'Z')
        return utc;
    universal.wYear = static_cast<WORD>(year);
    universal.wMonth = static_cast<WORD>(month);
    universal.wDay = static_cast<WORD>(day);
    universal.wHour = static_cast<WORD>(hour);
    universal.wMinute = static_cast<WORD>(minute);
    universal.wSecond = static_cast<WORD>(second);
    SYSTEMTIME local{};
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) return utc;
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute, local.wSecond);
    return text;
}

std::wstring DescribeEvents(std::vector<vandrel::RecentEvent> const& events, LocalTimeOf const& localTime) {
    std::wstring lines;
    for (vandrel::RecentEvent const& event : events) {
        if (!lines.empty()) lines += L"\r\n";
        lines += localTime(event.when) + L"  " + event.text;
    }
    return lines;
}

}  // namespace dellomark
