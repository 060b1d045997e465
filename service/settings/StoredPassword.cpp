#include "service/settings/StoredPassword.h"

#include <windows.h>
#include <dpapi.h>
#include <sddl.h>

#include <vector>

#include "service/settings/ServiceSettings.h"
#include "win32/UniqueHandle.h"

namespace vandrel {
namespace {

char const kPasswordValue[] = "Password";
// SYSTEM and administrators in full, LocalService reads; nobody else, not
// even to see that it is there.
char const kCredentialsKeySddl[] = "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICI;KR;;;LS)";
// Ties the blob to this program: another program's machine-scope blob does
// not unprotect as ours, and ours not as theirs without knowing this.
char const kEntropy[] = "Vandrel Service NUT login";
DWORD const kMaxBlobBytes = 4096;

DATA_BLOB Blob(void const* data, size_t size) {
    return DATA_BLOB{static_cast<DWORD>(size), static_cast<BYTE*>(const_cast<void*>(data))};
}

// Wipes a copy of the password before its memory goes back to the heap.
void Wipe(void* data, size_t size) {
    if (size != 0) ::SecureZeroMemory(data, size);
}

}  // namespace

unsigned long StorePassword(std::string const& password, char const* keyPath) {
    DATA_BLOB clear = Blob(password.data(), password.size());
    DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
    DATA_BLOB sealed{};
    if (!::CryptProtectData(&clear, L"Vandrel Service", &entropy, nullptr, nullptr,
                            CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, &sealed))
        return ::GetLastError();
    UniqueLocalMemory const sealedOwner(sealed.pbData);

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kCredentialsKeySddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return ::GetLastError();
    UniqueLocalMemory const descriptorOwner(descriptor);

    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    UniqueRegistryKey key;
    LONG status = static_cast<LONG>(CreateKeyUnderExistingParent(keyPath, KEY_SET_VALUE | WRITE_DAC, &attributes, key));
    // Set again in any case: a key someone made by hand may let others read,
    // and Wine creates a key with the default DACL whatever it is given.
    if (status == ERROR_SUCCESS)
        status = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                     descriptor);
    if (status == ERROR_SUCCESS)
        status = ::RegSetValueExA(key.get(), kPasswordValue, 0, REG_BINARY, sealed.pbData, sealed.cbData);
    return static_cast<unsigned long>(status);
}

unsigned long ReadPassword(std::string& password, char const* keyPath) {
    std::vector<BYTE> sealed(kMaxBlobBytes);
    DWORD size = kMaxBlobBytes;
    LONG const status = ::RegGetValueA(HKEY_LOCAL_MACHINE, keyPath, kPasswordValue, RRF_RT_REG_BINARY, nullptr,
                                       sealed.data(), &size);
    if (status != ERROR_SUCCESS) return static_cast<unsigned long>(status);
    DATA_BLOB in = Blob(sealed.data(), size);
    DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
    DATA_BLOB clear{};
    if (!::CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &clear))
        return ::GetLastError();
    UniqueLocalMemory const clearOwner(clear.pbData);
    password.assign(reinterpret_cast<char const*>(clear.pbData), clear.cbData);
    Wipe(clear.pbData, clear.cbData);
    return ERROR_SUCCESS;
}

unsigned long long PasswordStamp(char const* keyPath) {
    UniqueRegistryKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return 0;
    FILETIME written{};
    if (::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &written) != ERROR_SUCCESS)
        return 0;
    return (static_cast<unsigned long long>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

unsigned long DeleteCredentials(char const* keyPath) {
    LONG const status = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyPath);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<unsigned long>(status);
}

std::string ReadPasswordLine(std::string& password, size_t maxBytes) {
    HANDLE const input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return "no password on standard input";
    // Typed at a console: not shown on the screen.
    DWORD mode = 0;
    bool const console = ::GetConsoleMode(input, &mode) != 0;
    if (console) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));

    // A byte at a time: what follows the line stays for whoever reads next.
    std::string line;
    bool any = false;
    bool tooLong = false;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!::ReadFile(input, &c, 1, &read, nullptr) || read == 0) break;
        any = true;
        if (c == '\n') break;
        if (line.size() <= maxBytes)
            line += c;  // one more than allowed: room for a '\r'
        else
            tooLong = true;
    }
    if (console) ::SetConsoleMode(input, mode);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string problem;
    if (!any)
        problem = "no password on standard input";
    else if (tooLong || line.size() > maxBytes)
        problem = "the password is longer than " + std::to_string(maxBytes) + " bytes";
    else
        password = line;
    if (!line.empty()) Wipe(&line[0], line.size());
    return problem;
}

}  // namespace vandrel
