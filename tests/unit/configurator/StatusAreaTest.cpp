// The status area's wording: the state from the service's word and NUT's
// flags, numbers only when the record holds them, and the time formats.
#include <gtest/gtest.h>

#include <string>

#include "configurator/StatusArea.h"
#include "configurator/resource.h"

namespace {

using namespace dellomark;

// Each string as its id, with the arguments the pattern would take.
std::string IdText(unsigned id) {
    switch (id) {
    case IDS_RUNTIME_MINUTES: return "%1m";
    case IDS_RUNTIME_HOURS: return "%1h%2m";
    case IDS_VOLTS: return "%1V";
    case IDS_PERCENT: return "%1%%";
    case IDS_STATE_CHARGING: return "%1+chrg";
    case IDS_STATE_REPLACE_BATTERY: return "%1+rb";
    case IDS_VALUE_UNKNOWN: return "?";
    case IDS_PROTECTION_ARMED: return "armed:%1";
    case IDS_PROTECTION_WAITING: return "wait:%1";
    case IDS_PROTECTION_SHUTTING_DOWN_IN: return "down-in:%1:%2";
    case IDS_PROTECTION_SHUTTING_DOWN: return "down:%1";
    default: return "<" + std::to_string(id) + ">";
    }
}
std::string Id(unsigned id) { return IdText(id); }

StatusRecordRead ReadWithRecord(std::uint32_t word, char const* status, std::uint32_t flags) {
    StatusRecordRead read;
    read.block.outcome = StatusBlockRead::kRead;
    read.block.words.statusWord = word;
    read.hasRecord = true;
    read.record.flags = kReadingAnswered | flags;
    read.record.status = status;
    return read;
}

TEST(StatusAreaState, TheWordAndTheFlagsGiveTheStateInWords) {
    auto state = [](std::uint32_t word, char const* status) {
        return DescribeStatus(ReadWithRecord(word, status, 0), 0, IdText).state;
    };
    EXPECT_EQ(Id(IDS_STATE_BATTERY_LOW), state(kWordOnBattery, "OB DISCHRG LB"));
    EXPECT_EQ(Id(IDS_STATE_ON_LINE) + "+chrg", state(kWordOnLine, "OL CHRG"));
    EXPECT_EQ(Id(IDS_STATE_ON_BATTERY) + "+rb", state(kWordOnBattery, "OB RB"));
    EXPECT_EQ(Id(IDS_STATE_NO_CONNECTION), state(kWordNoConnection, "OL CHRG"));
    StatusRecordRead unanswered = ReadWithRecord(kWordOnLine, "OL", 0);
    unanswered.record.flags = 0;
    EXPECT_EQ(Id(IDS_STATE_NO_CONNECTION), DescribeStatus(unanswered, 0, IdText).state);
    EXPECT_EQ("BYPASS", state(0, "BYPASS")) << "a status of its own";
}

// A block the service has not filled yet, or none at all: nothing of a
// reading shows, and no number reads as a zero.
TEST(StatusAreaState, NoBlockNoRecordAndAbsentNumbersShowNothingMadeUp) {
    StatusRecordRead read;
    EXPECT_EQ(Id(IDS_STATE_SERVICE_STOPPED), DescribeStatus(read, 0, IdText).state);
    read.block.outcome = StatusBlockRead::kRead;
    StatusTexts const empty = DescribeStatus(read, 0, IdText);
    EXPECT_EQ(Id(IDS_STATE_NO_READING), empty.state);
    EXPECT_EQ("?", empty.charge);
    EXPECT_EQ("?", empty.server);

    StatusTexts const bare = DescribeStatus(ReadWithRecord(kWordOnLine, "OL", 0), 0, IdText);
    for (std::string const& value : {bare.charge, bare.runtime, bare.load, bare.inputVoltage, bare.outputVoltage,
                                     bare.model, bare.server, bare.protection})
        EXPECT_EQ("?", value);
    StatusRecordRead full = ReadWithRecord(kWordOnLine, "OL", kReadingHasCharge | kReadingHasLoad | kReadingEncrypted);
    full.record.model = "Rack 1500";
    full.record.server = "ups@nas:3493";
    StatusTexts const shown = DescribeStatus(full, 0, IdText);
    EXPECT_EQ("0%", shown.charge) << "a zero the UPS reports is shown";
    EXPECT_EQ("Rack 1500", shown.model);
    EXPECT_EQ(Id(IDS_SERVER_NOT_VERIFIED), shown.server.substr(0, Id(IDS_SERVER_NOT_VERIFIED).size()));
}

// The service says what the protection does; the program words it, and
// counts a due time down from its own clock, never below what is left.
TEST(StatusAreaProtection, EachStateInTheProgramsWordsWithTheServicesDetailAndSecondsLeft) {
    std::uint64_t const second = 10000000;
    std::uint64_t const now = 0x01DB'0000'0000'0000;
    ReadingRecord record;
    record.protectionState = kProtectionArmed;
    record.protectionDetail = "critical, login mon";
    EXPECT_EQ("armed:critical, login mon", ProtectionText(record, now, IdText));
    record.protectionState = kProtectionShuttingDown;
    record.protectionDetail = "battery low";
    record.protectionDueUtc = now + 25 * second - 1;
    EXPECT_EQ("down-in:25:battery low", ProtectionText(record, now, IdText));
    EXPECT_EQ("down-in:0:battery low", ProtectionText(record, now + 26 * second, IdText)) << "past due";
    record.protectionDueUtc = 0;
    EXPECT_EQ("down:battery low", ProtectionText(record, now, IdText)) << "Windows counts its own delay";
    record.protectionState = kProtectionWaitingForPrimary;
    record.protectionDueUtc = now + 15 * second;
    EXPECT_EQ("wait:15", ProtectionText(record, now, IdText));
    record.protectionState = kProtectionUnknown;
    record.protectionDetail = "";
    EXPECT_EQ("?", ProtectionText(record, now, IdText)) << "a source without protection";
}

TEST(StatusAreaFormats, RuntimeInMinutesThenHoursAndVoltsWithOneDecimal) {
    EXPECT_EQ("0m", FormatRuntime(59, IdText));
    EXPECT_EQ("59m", FormatRuntime(3599, IdText));
    EXPECT_EQ("1h05m", FormatRuntime(3900, IdText));
    EXPECT_EQ("230.4V", FormatVolts(2304, IdText));
    EXPECT_EQ("0.5V", FormatVolts(5, IdText));
    EXPECT_EQ(L"2026-12-10T05:30:00", LocalEventTime(L"2026-12-10T05:30:00")) << "not a UTC time: as it came";
}

}  // namespace
