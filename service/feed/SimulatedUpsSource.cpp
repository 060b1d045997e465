#include "service/feed/SimulatedUpsSource.h"

#include <utility>

namespace vandrel {

SourceReading ReadingForWord(uint32_t statusWord) {
    SourceReading reading;
    reading.statusWord = statusWord;
    char const* const status = statusWord == kWordOnBattery    ? "OB"
                               : statusWord == kWordBatteryLow ? "OB LB"
                               : statusWord == kWordOnLine     ? "OL"
                                                               : nullptr;
    reading.answered = status != nullptr;
    if (status != nullptr) reading.upsStatus = status;
    return reading;
}

ScriptedUpsSource::ScriptedUpsSource(std::vector<uint32_t> words, DWORD stepMs)
    : words_(std::move(words)), stepMs_(stepMs) {}

SourceReading ScriptedUpsSource::Next(HANDLE) {
    uint32_t const word = words_[next_];
    next_ = (next_ + 1) % words_.size();
    return ReadingForWord(word);
}

}  // namespace vandrel
