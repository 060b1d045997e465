#include "service/StateKey.h"

#include <windows.h>

#include <utility>

#include "win32/ProtectedKey.h"
#include "win32/UniqueHandle.h"

namespace vandrel {
namespace {

char const kFailedWritesValue[] = "FailedWrites";
char const kShutdownValue[] = "Shutdown";
// SYSTEM and administrators in full, LocalService may read and set values
// (0x2001b: KEY_READ | KEY_SET_VALUE), users may read.
char const kStateKeySddl[] = "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICI;0x2001b;;;LS)(A;OICI;KR;;;BU)";

}  // namespace

unsigned long CreateStateKey() {
    UniqueRegistryKey key;
    return win32::CreateProtectedKey(kStateKeyPath, kStateKeySddl, 0, key);
}

void WriteFailedWrites(uint32_t count) {
    UniqueRegistryKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStateKeyPath, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    DWORD const value = count;
    ::RegSetValueExA(key.get(), kFailedWritesValue, 0, REG_DWORD, reinterpret_cast<BYTE const*>(&value), sizeof value);
}

bool ReadFailedWrites(uint32_t& count) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kStateKeyPath, kFailedWritesValue, RRF_RT_REG_DWORD, nullptr, &value,
                       &size) != ERROR_SUCCESS)
        return false;
    count = value;
    return true;
}

void WriteShutdownLine(std::string const& line) {
    UniqueRegistryKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStateKeyPath, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    ::RegSetValueExA(key.get(), kShutdownValue, 0, REG_SZ, reinterpret_cast<BYTE const*>(line.c_str()),
                     static_cast<DWORD>(line.size() + 1));
}

bool ReadShutdownLine(std::string& line) {
    DWORD size = 0;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kStateKeyPath, kShutdownValue, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0)
        return false;
    std::string text(size, '\0');
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kStateKeyPath, kShutdownValue, RRF_RT_REG_SZ, nullptr, &text[0], &size) !=
        ERROR_SUCCESS)
        return false;
    text.resize(text.find('\0'));
    line = std::move(text);
    return true;
}

}  // namespace vandrel
