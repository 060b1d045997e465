// Where the service gets its UPS state from. Simulations for now; a source
// that talks to real hardware plugs in behind the same interface later.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace vandrel {

DWORD const kFixedSourceIntervalMs = 1000;

class UpsSource {
public:
    virtual ~UpsSource() = default;
    // The status word to publish now.
    virtual uint32_t NextStatusWord() = 0;
    // How long the word just returned stands before the next one is due.
    virtual DWORD IntervalMs() const = 0;
};

// The same word forever, refreshed once a second.
class FixedUpsSource final : public UpsSource {
public:
    explicit FixedUpsSource(uint32_t statusWord) : statusWord_(statusWord) {}
    uint32_t NextStatusWord() override { return statusWord_; }
    DWORD IntervalMs() const override { return kFixedSourceIntervalMs; }

private:
    uint32_t statusWord_;
};

// Cycles through a script of words, each held for the same time.
class ScriptedUpsSource final : public UpsSource {
public:
    // `words` must not be empty.
    ScriptedUpsSource(std::vector<uint32_t> words, DWORD stepMs);
    uint32_t NextStatusWord() override;
    DWORD IntervalMs() const override { return stepMs_; }

private:
    std::vector<uint32_t> words_;
    DWORD stepMs_;
    size_t next_ = 0;
};

}  // namespace vandrel
