#include "win32/Arguments.h"

namespace win32 {

bool ParseUint32(char const* text, uint32_t& value) {
    if (text == nullptr || *text == '\0') return false;
    uint64_t result = 0;
    for (char const* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        result = result * 10 + static_cast<uint64_t>(*p - '0');
        if (result > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(result);
    return true;
}

}  // namespace win32
