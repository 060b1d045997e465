// Command-line helpers shared by the companion tools.
#pragma once

#include <cstdint>
#include <string>

namespace companions {

// Strict decimal: digits only (no sign, blanks or base prefix) and within
// 0..4294967295. Leaves `value` alone when it returns false.
bool ParseUint32(char const* text, uint32_t& value);

// "error 183: Cannot create a file when that file already exists."
std::string DescribeWin32Error(unsigned long code);

}  // namespace companions
