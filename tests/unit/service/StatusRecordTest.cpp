// The record of the last reading that the block carries after the agent's
// words: its bytes where the layout says, absent values never zero, and
// nothing taken from a block that holds no whole record.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "contract/StatusRecord.h"
#include "service/feed/StatusFeed.h"

namespace {

std::uint32_t At(std::vector<unsigned char> const& bytes, std::size_t blockOffset) {
    std::size_t const at = blockOffset - kReadingRecordOffset;
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

TEST(StatusRecord, TheReadingLiesWhereTheLayoutSaysAndReadsBackWhole) {
    vandrel::SourceReading reading;
    reading.answered = true;
    reading.upsStatus = "OB DISCHRG";
    reading.charge = 0;  // a flat battery is a value, not an absence
    reading.loadPercent = 23;
    reading.inputVoltageTenths = 2304;
    reading.model = "Smart 1500";
    reading.server = "ups@nas.lan:3493";
    reading.link.encrypted = true;
    reading.login = vandrel::LoginState::LoggedIn;
    vandrel::ProtectionShown const protection{kProtectionShuttingDown, "battery low", 0x01DB'0001'0000'0002};
    ReadingRecord const record = vandrel::RecordFor(reading, protection, 0x01DB'0000'1234'5678);
    EXPECT_TRUE(record.Has(kReadingHasCharge));
    EXPECT_FALSE(record.Has(kReadingHasRuntime)) << "not reported: absent";
    EXPECT_FALSE(record.Has(kReadingHasOutputVoltage));
    EXPECT_FALSE(record.Has(kReadingVerified));

    std::vector<unsigned char> bytes(kReadingRecordBytes);
    EncodeReadingRecord(record, bytes.data());
    EXPECT_EQ(kReadingRecordVersion, At(bytes, 12));
    EXPECT_EQ(kReadingRecordBytes, At(bytes, 16));
    EXPECT_EQ(kReadingAnswered | kReadingHasCharge | kReadingHasLoad | kReadingHasInputVoltage | kReadingEncrypted |
                  kReadingLoggedIn,
              At(bytes, 20));
    EXPECT_EQ(0x12345678u, At(bytes, 24));
    EXPECT_EQ(0x01DB0000u, At(bytes, 28));
    EXPECT_EQ(23u, At(bytes, 40));
    EXPECT_EQ(2304u, At(bytes, 44));
    EXPECT_EQ(std::uint32_t{kProtectionShuttingDown}, At(bytes, 52));
    EXPECT_EQ(2u, At(bytes, 56));
    EXPECT_EQ(0x01DB0001u, At(bytes, 60));
    EXPECT_EQ(std::string("OB DISCHRG"), reinterpret_cast<char const*>(&bytes[64 - 12]));
    EXPECT_EQ(std::string("Smart 1500"), reinterpret_cast<char const*>(&bytes[192 - 12]));
    EXPECT_EQ(std::string("ups@nas.lan:3493"), reinterpret_cast<char const*>(&bytes[256 - 12]));
    EXPECT_EQ(std::string("battery low"), reinterpret_cast<char const*>(&bytes[372 - 12]));

    ReadingRecord back;
    ASSERT_TRUE(DecodeReadingRecord(bytes.data(), bytes.size(), back));
    EXPECT_TRUE(back == record);
}

TEST(StatusRecord, AnOversizedTextIsCutBetweenCharactersAndABrokenRecordIsNone) {
    ReadingRecord record;
    record.model = std::string(62, 'x') + "\xE3\x81\x82";  // a 3-byte character across the field's end
    std::vector<unsigned char> bytes(kReadingRecordBytes);
    EncodeReadingRecord(record, bytes.data());
    ReadingRecord back;
    ASSERT_TRUE(DecodeReadingRecord(bytes.data(), bytes.size(), back));
    EXPECT_EQ(std::string(62, 'x'), back.model);

    ReadingRecord const untouched = back;
    std::vector<unsigned char> const zeros(kReadingRecordBytes);  // a service that writes no record
    EXPECT_FALSE(DecodeReadingRecord(zeros.data(), zeros.size(), back));
    EXPECT_FALSE(DecodeReadingRecord(bytes.data(), bytes.size() - 1, back)) << "cut short";
    std::vector<unsigned char> damaged = bytes;
    damaged[4] = 0xff;  // a size beyond the block
    EXPECT_FALSE(DecodeReadingRecord(damaged.data(), damaged.size(), back));
    damaged = bytes;
    for (std::size_t i = 128 - 12; i < 192 - 12; ++i) damaged[i] = 'm';  // ups.mfr without its NUL
    EXPECT_FALSE(DecodeReadingRecord(damaged.data(), damaged.size(), back));
    damaged = bytes;
    damaged[0] = 2;  // a layout this reader does not know
    EXPECT_FALSE(DecodeReadingRecord(damaged.data(), damaged.size(), back));
    EXPECT_TRUE(back == untouched);
}

}  // namespace
