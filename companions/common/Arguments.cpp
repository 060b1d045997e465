#include "companions/common/Arguments.h"

#include <windows.h>

#include "common/UniqueHandle.h"

namespace companions {

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

std::string DescribeWin32Error(unsigned long code) {
    std::string text = "error " + std::to_string(code);
    char* message = nullptr;
    DWORD const length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    UniqueLocalMemory owner(message);
    if (length != 0) {
        std::string detail(message, length);
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r' || detail.back() == ' '))
            detail.pop_back();
        if (!detail.empty()) text += ": " + detail;
    }
    return text;
}

}  // namespace companions
