// The three words of the shared status block as last read.
#pragma once

#include <cstdint>

struct StatusSnapshot {
    std::uint32_t word0 = 0;
    std::uint32_t statusWord = 0;  // the only word that drives what is shown
    std::uint32_t word2 = 0;
};
