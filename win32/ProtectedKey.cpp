#include "win32/ProtectedKey.h"

#include <windows.h>
#include <sddl.h>

#include <string>
#include <utility>

namespace win32 {

unsigned long CreateKeyUnderExistingParent(char const* keyPath, unsigned long access, SECURITY_ATTRIBUTES* security,
                                           UniqueRegistryKey& out) {
    std::string const path = keyPath;
    size_t const slash = path.rfind('\\');
    if (slash == std::string::npos) return ERROR_INVALID_PARAMETER;
    UniqueRegistryKey parent;
    LONG const status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_CREATE_SUB_KEY,
                                        parent.put());
    if (status != ERROR_SUCCESS) return static_cast<unsigned long>(status);
    return static_cast<unsigned long>(::RegCreateKeyExA(parent.get(), path.substr(slash + 1).c_str(), 0, nullptr,
                                                        REG_OPTION_NON_VOLATILE, access, security, out.put(),
                                                        nullptr));
}

unsigned long CreateProtectedKey(char const* keyPath, char const* sddl, unsigned long access, UniqueRegistryKey& out) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return ::GetLastError();
    UniqueLocalMemory const descriptorOwner(descriptor);

    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    UniqueRegistryKey key;
    LONG status = static_cast<LONG>(CreateKeyUnderExistingParent(keyPath, access | WRITE_DAC, &attributes, key));
    if (status == ERROR_SUCCESS)
        status = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                     descriptor);
    if (status == ERROR_SUCCESS) out = std::move(key);
    return static_cast<unsigned long>(status);
}

}  // namespace win32
