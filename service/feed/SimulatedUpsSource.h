// The simulated UPS: one status word for ever, or a script of them, for
// trying the agent and the service without a UPS.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "service/feed/UpsSource.h"

namespace vandrel {

DWORD const kFixedSourceIntervalMs = 1000;

// A reading for a bare word, as the simulation gives it: the NUT status
// that word stands for (1 "OB", 2 "OB LB", 3 "OL"), unanswered for others.
SourceReading ReadingForWord(uint32_t statusWord);

// The same word forever, refreshed once a second. The simulation reports no
// battery charge (word 2 stays 0).
class FixedUpsSource final : public UpsSource {
public:
    explicit FixedUpsSource(uint32_t statusWord) : statusWord_(statusWord) {}
    SourceReading Next(HANDLE) override { return ReadingForWord(statusWord_); }
    DWORD IntervalMs() const override { return kFixedSourceIntervalMs; }

private:
    uint32_t statusWord_;
};

// Cycles through a script of words, each held for the same time.
class ScriptedUpsSource final : public UpsSource {
public:
    // `words` must not be empty.
    ScriptedUpsSource(std::vector<uint32_t> words, DWORD stepMs);
    SourceReading Next(HANDLE) override;
    DWORD IntervalMs() const override { return stepMs_; }

private:
    std::vector<uint32_t> words_;
    DWORD stepMs_;
    size_t next_ = 0;
};

}  // namespace vandrel
