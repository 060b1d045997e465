#include "win32/Win32Error.h"

#include <windows.h>

#include "win32/UniqueHandle.h"

namespace win32 {

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

}  // namespace win32
