// Command-line helpers shared by the service, the configuration program and the tools.
#pragma once

#include <cstdint>
#include <string>

namespace win32 {

// Strict decimal: digits only (no sign, blanks or base prefix) and within
// 0..4294967295. Leaves `value` alone when it returns false.
bool ParseUint32(char const* text, uint32_t& value);

}  // namespace win32
