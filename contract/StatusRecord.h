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
//       52     4  the protection's state (ProtectionState)
//       56     8  when the shutdown or wait under way ends, UTC, as a FILETIME;
//                 0 when nothing is counted down
//       64    64  ups.status, UTF-8, NUL-terminated
//      128    64  ups.mfr
//      192    64  ups.model
//      256   116  the server read, "ups@host:3493"
//      372   128  the protection's detail, as the service words it (English):
//                 its rules, why it shuts down, why it is not logged in...
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

// What the protection does, for a reader to put in its own words.
enum ProtectionState : std::uint32_t {
    kProtectionUnknown = 0,            // nothing said (a source without protection)
    kProtectionOff = 1,
    kProtectionArmed = 2,              // detail: its rules ("critical, login mon")
    kProtectionNotLoggedIn = 3,        // armed, but the primary will not wait: detail why
    kProtectionWaitingForPrimary = 4,  // battery low: the primary's forced shutdown is awaited until the due time
    kProtectionShuttingDown = 5,       // detail why; Windows goes at the due time
    kProtectionRefused = 6,            // Windows refused the shutdown: detail its error
    kProtectionCancelled = 7,          // an early shutdown called off: detail why
};

struct ReadingRecord {
    std::uint32_t flags = 0;
    std::uint64_t readAtUtc = 0;  // FILETIME ticks
    std::uint32_t charge = 0;
    std::uint32_t runtimeSeconds = 0;
    std::uint32_t load = 0;
    std::uint32_t inputDeciVolts = 0;
    std::uint32_t outputDeciVolts = 0;
    std::uint32_t protectionState = kProtectionUnknown;
    std::uint64_t protectionDueUtc = 0;  // FILETIME ticks; 0: none
    std::string status;
    std::string manufacturer;
    std::string model;
    std::string server;
    std::string protectionDetail;

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
