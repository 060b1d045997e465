// The service's last reading in full, stored in the status block after the
// agent's three words, for readers that know its layout (the configuration
// program's status area). The agent never reads past the words, so it is
// unaffected. Little-endian, byte by byte, the same on every architecture:
//
//   offset  size  what
//       12     4  layout version, kReadingRecordVersion
//       16     4  the record's size in bytes (a later layout may only grow it)
//       20     4  flags (ReadingFlag)
//       24     8  when it was read, UTC, as a FILETIME (100 ns since 1601)
//       32     4  battery.charge, percent
//       36     4  battery.runtime, seconds
//       40     4  ups.load, percent
//       44     4  input.voltage, tenths of a volt
//       48     4  output.voltage, tenths of a volt
//       52    64  ups.status, UTF-8, NUL-terminated
//      116    64  ups.mfr
//      180    64  ups.model
//      244   128  the server read, "ups@host:3493"
//      372   128  the protection's state line
//
// A number whose flag is clear is absent (the UPS does not report it), never
// zero. A text too long for its field is cut at a character's boundary.
// Plain C++ without system headers, so it is also built and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "contract/StatusBlock.h"

constexpr std::uint32_t kReadingRecordVersion = 1;
constexpr std::uint32_t kReadingRecordOffset = kStatusBlockSize;
constexpr std::uint32_t kReadingRecordBytes = 488;
// What the service maps: the words and the record.
constexpr std::uint32_t kStatusBlockWithRecordSize = kReadingRecordOffset + kReadingRecordBytes;

enum ReadingFlag : std::uint32_t {
    kReadingAnswered = 1u << 0,  // the server gave a status
    kReadingHasCharge = 1u << 1,
    kReadingHasRuntime = 1u << 2,
    kReadingHasLoad = 1u << 3,
    kReadingHasInputVoltage = 1u << 4,
    kReadingHasOutputVoltage = 1u << 5,
    kReadingEncrypted = 1u << 6,  // the link to the server is TLS
    kReadingVerified = 1u << 7,   // and the server proved itself
    kReadingLoggedIn = 1u << 8,   // logged in as a secondary: the primary waits for this PC
};

struct ReadingRecord {
    std::uint32_t flags = 0;
    std::uint64_t readAtUtc = 0;  // FILETIME ticks
    std::uint32_t charge = 0;
    std::uint32_t runtimeSeconds = 0;
    std::uint32_t load = 0;
    std::uint32_t inputDeciVolts = 0;
    std::uint32_t outputDeciVolts = 0;
    std::string status;
    std::string manufacturer;
    std::string model;
    std::string server;
    std::string protection;

    bool Has(ReadingFlag flag) const { return (flags & flag) != 0; }
};

bool operator==(ReadingRecord const& a, ReadingRecord const& b);

// Writes the record's kReadingRecordBytes at `out`.
void EncodeReadingRecord(ReadingRecord const& record, unsigned char* out);

// Reads a record from `size` bytes at `in` (the block past its words). False,
// with `out` untouched, when there is none (a service that does not write
// one leaves zeros), it is of another layout, or it is damaged (a text
// without its NUL). Flags it does not know are a later layout's: ignored.
bool DecodeReadingRecord(unsigned char const* in, std::size_t size, ReadingRecord& out);
