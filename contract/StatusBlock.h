// The shared status block: the one contract between the monitoring service
// that publishes the UPS state and every reader of it. A named file mapping
// holds three little-endian 32-bit words; a named mutex guards it. The mutex
// carries the name ending in "FileMap" and the mapping the other one: the
// swap looks odd, but it is what every reader and writer expects.
#pragma once

#include <cstdint>

constexpr char kStatusMappingName[] = "Global\\SHARINGUPSSTATUS";
constexpr char kStatusMutexName[] = "Global\\UpsStatusSyncFileMap";

// The status words: what the service publishes and the agent shows.
constexpr std::uint32_t kWordServiceStopped = 0;  // never published by a running service
constexpr std::uint32_t kWordOnBattery = 1;
constexpr std::uint32_t kWordBatteryLow = 2;
constexpr std::uint32_t kWordOnLine = 3;
constexpr std::uint32_t kWordNoConnection = 4;    // "Communication lost"

// The three words of the block, in their order in it.
struct StatusSnapshot {
    std::uint32_t word0 = 0;       // the writer counts its writes here
    std::uint32_t statusWord = 0;  // the only word that drives what is shown
    std::uint32_t word2 = 0;       // battery charge in percent, 0 when unknown
};

// Readers take these first bytes and nothing beyond.
constexpr std::uint32_t kStatusBlockSize = 12;
static_assert(sizeof(StatusSnapshot) == kStatusBlockSize, "the block's three words");
