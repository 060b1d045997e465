#include "service/settings/StoredPassword.h"

#include <windows.h>
#include <dpapi.h>

#include <vector>

#include "win32/ProtectedKey.h"
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

    UniqueRegistryKey key;
    unsigned long const created = win32::CreateProtectedKey(keyPath, kCredentialsKeySddl, KEY_SET_VALUE, key);
    if (created != ERROR_SUCCESS) return created;
    return static_cast<unsigned long>(
        ::RegSetValueExA(key.get(), kPasswordValue, 0, REG_BINARY, sealed.pbData, sealed.cbData));
}

unsigned long ReadPassword(SecretString& password, char const* keyPath) {
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
    password.Assign(reinterpret_cast<char const*>(clear.pbData), clear.cbData);
    Wipe(clear.pbData, clear.cbData);
    return ERROR_SUCCESS;
}

unsigned long ReadPassword(std::string& password, char const* keyPath) {
    SecretString secret;
    unsigned long const read = ReadPassword(secret, keyPath);
    if (read == ERROR_SUCCESS) password = secret.get();
    return read;
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

std::string ReadPasswordLine(SecretString& password, size_t maxBytes) {
    HANDLE const input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return "no password on standard input";
    // Typed at a console: not shown on the screen.
    DWORD mode = 0;
    bool const console = ::GetConsoleMode(input, &mode) != 0;
    if (console) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));

    // A byte at a time: what follows the line stays for whoever reads next.
    SecretString line;
    bool any = false;
    bool tooLong = false;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!::ReadFile(input, &c, 1, &read, nullptr) || read == 0) break;
        any = true;
        if (c == '\n') break;
        if (line.get().size() <= maxBytes)
            line.Append(&c, 1);  // one more than allowed: room for a '\r'
        else
            tooLong = true;
    }
    if (console) ::SetConsoleMode(input, mode);
    size_t length = line.get().size();
    if (length != 0 && line.get().back() == '\r') --length;
    if (!any) return "no password on standard input";
    if (tooLong || length > maxBytes) return "the password is longer than " + std::to_string(maxBytes) + " bytes";
    password.Assign(line.get().data(), length);
    return std::string();
}

}  // namespace vandrel
