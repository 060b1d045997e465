#include "contract/StatusRecord.h"

#include <cstring>
#include <utility>

namespace {

// Offsets within the record (the block's offset minus kReadingRecordOffset).
std::size_t const kVersionAt = 0;
std::size_t const kSizeAt = 4;
std::size_t const kFlagsAt = 8;
std::size_t const kReadAtAt = 12;
std::size_t const kNumbersAt = 20;  // charge, runtime, load, input, output, protection state
std::size_t const kDueAt = 44;
std::size_t const kStatusAt = 52;
std::size_t const kManufacturerAt = 116;
std::size_t const kModelAt = 180;
std::size_t const kServerAt = 244;
std::size_t const kProtectionAt = 360;
std::size_t const kShortText = 64;
std::size_t const kServerText = 116;
std::size_t const kLongText = 128;
static_assert(kServerAt + kServerText == kProtectionAt, "the fields follow each other");
static_assert(kProtectionAt + kLongText == kReadingRecordBytes, "the layout's last field ends the record");

void Put32(unsigned char* at, std::uint32_t value) {
    for (std::size_t b = 0; b < 4; ++b) at[b] = static_cast<unsigned char>(value >> (8 * b));
}

std::uint32_t Get32(unsigned char const* at) {
    std::uint32_t value = 0;
    for (std::size_t b = 0; b < 4; ++b) value |= std::uint32_t{at[b]} << (8 * b);
    return value;
}

// At most `field` - 1 bytes and never half a UTF-8 character; the rest NULs.
void PutText(unsigned char* at, std::size_t field, std::string const& text) {
    std::size_t length = text.size() < field ? text.size() : field - 1;
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memset(at, 0, field);
    std::memcpy(at, text.data(), length);
}

bool GetText(unsigned char const* at, std::size_t field, std::string& text) {
    void const* const end = std::memchr(at, 0, field);
    if (end == nullptr) return false;
    text.assign(reinterpret_cast<char const*>(at), static_cast<unsigned char const*>(end) - at);
    return true;
}

struct NumberField {
    std::uint32_t ReadingRecord::*member;
};
NumberField const kNumbers[] = {{&ReadingRecord::charge},
                                {&ReadingRecord::runtimeSeconds},
                                {&ReadingRecord::load},
                                {&ReadingRecord::inputDeciVolts},
                                {&ReadingRecord::outputDeciVolts},
                                {&ReadingRecord::protectionState}};
static_assert(kNumbersAt + 4 * (sizeof kNumbers / sizeof kNumbers[0]) == kDueAt, "the numbers end at the due time");

void Put64(unsigned char* at, std::uint64_t value) {
    Put32(at, static_cast<std::uint32_t>(value));
    Put32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t Get64(unsigned char const* at) { return Get32(at) | std::uint64_t{Get32(at + 4)} << 32; }

struct TextField {
    std::string ReadingRecord::*member;
    std::size_t at;
    std::size_t size;
};
TextField const kTexts[] = {{&ReadingRecord::status, kStatusAt, kShortText},
                            {&ReadingRecord::manufacturer, kManufacturerAt, kShortText},
                            {&ReadingRecord::model, kModelAt, kShortText},
                            {&ReadingRecord::server, kServerAt, kServerText},
                            {&ReadingRecord::protectionDetail, kProtectionAt, kLongText}};

}  // namespace

bool operator==(ReadingRecord const& a, ReadingRecord const& b) {
    for (NumberField const& number : kNumbers)
        if (a.*number.member != b.*number.member) return false;
    for (TextField const& text : kTexts)
        if (a.*text.member != b.*text.member) return false;
    return a.flags == b.flags && a.readAtUtc == b.readAtUtc && a.protectionDueUtc == b.protectionDueUtc;
}

void EncodeReadingRecord(ReadingRecord const& record, unsigned char* out) {
    Put32(out + kVersionAt, kReadingRecordVersion);
    Put32(out + kSizeAt, kReadingRecordBytes);
    Put32(out + kFlagsAt, record.flags);
    Put64(out + kReadAtAt, record.readAtUtc);
    for (std::size_t i = 0; i < sizeof kNumbers / sizeof kNumbers[0]; ++i)
        Put32(out + kNumbersAt + 4 * i, record.*kNumbers[i].member);
    Put64(out + kDueAt, record.protectionDueUtc);
    for (TextField const& text : kTexts) PutText(out + text.at, text.size, record.*text.member);
}

bool DecodeReadingRecord(unsigned char const* in, std::size_t size, ReadingRecord& out) {
    if (size < kReadingRecordBytes || Get32(in + kVersionAt) != kReadingRecordVersion) return false;
    std::uint32_t const recordSize = Get32(in + kSizeAt);
    if (recordSize < kReadingRecordBytes || recordSize > size) return false;
    ReadingRecord record;
    record.flags = Get32(in + kFlagsAt);
    record.readAtUtc = Get64(in + kReadAtAt);
    for (std::size_t i = 0; i < sizeof kNumbers / sizeof kNumbers[0]; ++i)
        record.*kNumbers[i].member = Get32(in + kNumbersAt + 4 * i);
    record.protectionDueUtc = Get64(in + kDueAt);
    for (TextField const& text : kTexts)
        if (!GetText(in + text.at, text.size, record.*text.member)) return false;
    out = std::move(record);
    return true;
}
