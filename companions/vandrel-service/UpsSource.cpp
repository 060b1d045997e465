#include "companions/vandrel-service/UpsSource.h"

#include <utility>

namespace vandrel {

ScriptedUpsSource::ScriptedUpsSource(std::vector<uint32_t> words, DWORD stepMs)
    : words_(std::move(words)), stepMs_(stepMs) {}

SourceReading ScriptedUpsSource::Next(HANDLE) {
    uint32_t const word = words_[next_];
    next_ = (next_ + 1) % words_.size();
    return {word, 0};
}

}  // namespace vandrel
