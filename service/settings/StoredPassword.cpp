#include "service/settings/StoredPassword.h"

#include <windows.h>
#include <dpapi.h>

#include <vector>

#include "win32/ProtectedKey.h"
#include "win32/ScopeExit.h"
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

// Notepad starts a UTF-8 file with it; it is no part of the password.
char const kUtf8Bom[] = "\xEF\xBB\xBF";
size_t const kUtf8BomBytes = sizeof kUtf8Bom - 1;

// A line of standard input as it came, in UTF-8, cut off after one byte
// more than a password may have (room for a '\r') and a byte-order mark.
struct RawLine {
    SecretString text;
    bool any = false;      // anything came, an empty line included
    bool tooLong = false;  // more came than `text` kept
    std::string problem;   // why the line could not be read at all
};

// A pipe's or a file's bytes, one at a time: what follows the line stays
// for whoever reads next.
RawLine ReadByteLine(HANDLE input, size_t maxBytes) {
    RawLine line;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!::ReadFile(input, &c, 1, &read, nullptr) || read == 0) break;
        line.any = true;
        if (c == '\n') break;
        if (line.text.get().size() <= maxBytes + kUtf8BomBytes)
            line.text.Append(&c, 1);
        else
            line.tooLong = true;
    }
    return line;
}

// A console's line, read as UTF-16 (its code page would turn what it cannot
// show into '?') and converted to UTF-8. Each UTF-16 unit makes at least one
// byte, so one more unit than a password's bytes (for the '\r') is enough.
RawLine ReadConsoleLine(HANDLE input, size_t maxBytes) {
    RawLine line;
    std::vector<wchar_t> units(maxBytes + 1);
    ScopeExit const wipeUnits([&] { Wipe(units.data(), units.size() * sizeof(wchar_t)); });
    size_t count = 0;
    for (;;) {
        wchar_t unit = 0;
        DWORD read = 0;
        if (!::ReadConsoleW(input, &unit, 1, &read, nullptr) || read == 0) break;
        line.any = true;
        if (unit == L'\n') break;
        if (count < units.size())
            units[count++] = unit;
        else
            line.tooLong = true;
    }
    if (count == 0) return line;
    int const bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units.data(), static_cast<int>(count),
                                            nullptr, 0, nullptr, nullptr);
    std::string converted(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
    ScopedWipe const wipeConverted(converted);
    if (bytes <= 0 || ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units.data(), static_cast<int>(count),
                                            &converted[0], bytes, nullptr, nullptr) != bytes) {
        line.problem = "the password typed is not Unicode text";
        return line;
    }
    line.text.Assign(converted.data(), converted.size());
    return line;
}

class SystemPasswordSeal final : public PasswordSealApi {
public:
    unsigned long Seal(std::string const& clear, std::string const& entropy, unsigned long flags,
                       std::vector<unsigned char>& sealed) override {
        DATA_BLOB in = Blob(clear.data(), clear.size());
        DATA_BLOB salt = Blob(entropy.data(), entropy.size());
        DATA_BLOB out{};
        if (!::CryptProtectData(&in, L"Vandrel Service", &salt, nullptr, nullptr, flags, &out))
            return ::GetLastError();
        UniqueLocalMemory const outOwner(out.pbData);
        sealed.assign(out.pbData, out.pbData + out.cbData);
        return ERROR_SUCCESS;
    }
};

SystemPasswordSeal g_systemPasswordSeal;

}  // namespace
}  // namespace vandrel

template <>
vandrel::PasswordSealApi* Seam<vandrel::PasswordSealApi>::current_ = &vandrel::g_systemPasswordSeal;

namespace vandrel {

unsigned long StorePassword(std::string const& password, char const* keyPath) {
    // Machine scope: the service's account must unseal what an administrator
    // sealed. Never a prompt: there is nobody to answer it in a service.
    std::vector<unsigned char> sealed;
    unsigned long const sealing = Seam<PasswordSealApi>::Current().Seal(
        password, kEntropy, CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN, sealed);
    if (sealing != ERROR_SUCCESS) return sealing;

    UniqueRegistryKey key;
    unsigned long const created = win32::CreateProtectedKey(keyPath, kCredentialsKeySddl, KEY_SET_VALUE, key);
    if (created != ERROR_SUCCESS) return created;
    return static_cast<unsigned long>(::RegSetValueExA(key.get(), kPasswordValue, 0, REG_BINARY, sealed.data(),
                                                       static_cast<DWORD>(sealed.size())));
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
    DWORD mode = 0;
    bool const console = ::GetConsoleMode(input, &mode) != 0;
    RawLine line;
    if (console) {
        // Typed at a console: not shown on the screen.
        ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
        ScopeExit const restoreEcho([&] { ::SetConsoleMode(input, mode); });
        line = ReadConsoleLine(input, maxBytes);
    } else {
        line = ReadByteLine(input, maxBytes);
    }
    if (!line.problem.empty()) return line.problem;
    if (!line.any) return "no password on standard input";

    std::string const& text = line.text.get();
    size_t const start = text.compare(0, kUtf8BomBytes, kUtf8Bom) == 0 ? kUtf8BomBytes : 0;
    size_t length = text.size() - start;
    if (length != 0 && text.back() == '\r') --length;
    if (line.tooLong || length > maxBytes) return "the password is longer than " + std::to_string(maxBytes) + " bytes";
    if (length != 0 && ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + start,
                                             static_cast<int>(length), nullptr, 0) == 0)
        return "the password is not UTF-8 text (save its file as UTF-8)";
    password.Assign(text.data() + start, length);
    return std::string();
}

}  // namespace vandrel
