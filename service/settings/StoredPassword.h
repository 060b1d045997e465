// The NUT login's password, kept apart from the other settings: protected
// with DPAPI for this machine (any account here could undo that) and stored
// as REG_BINARY in a key of its own whose DACL lets only SYSTEM,
// administrators and the service's account (LocalService) read it:
//   HKLM\<kCredentialsKeyPath>
// The password is never written in clear, printed or put in a message.
// The service's command line and the configuration program both store it
// through here.
#pragma once

#include <string>
#include <vector>

#include "contract/ServiceContract.h"
#include "win32/Seam.h"
#include "win32/SecretString.h"

namespace vandrel {

// The sealing, through a seam: Wine runs every program as one user, so
// unsealing there cannot tell a blob sealed for the machine from one sealed
// for whoever stored it; a test watches the flags instead.
class PasswordSealApi {
public:
    virtual ~PasswordSealApi() = default;
    // CryptProtectData of `clear` with `entropy` and `flags`, the blob into
    // `sealed`. A Win32 error code.
    virtual unsigned long Seal(std::string const& clear, std::string const& entropy, unsigned long flags,
                               std::vector<unsigned char>& sealed) = 0;
};

// Protects and stores `password`, creating the key under its existing
// parent (or giving an older key our DACL). A Win32 error code.
unsigned long StorePassword(std::string const& password, char const* keyPath = kCredentialsKeyPath);

// Reads and unprotects it; `password` is written only on success.
unsigned long ReadPassword(SecretString& password, char const* keyPath = kCredentialsKeyPath);
// The same into a plain string, for a caller that wipes its copy itself.
unsigned long ReadPassword(std::string& password, char const* keyPath = kCredentialsKeyPath);

// When the password was last stored (the key's last write), 0 when there is
// none: the running service starts over with a new password as it does
// with new settings.
unsigned long long PasswordStamp(char const* keyPath = kCredentialsKeyPath);

// Removes the key; a missing key is success.
unsigned long DeleteCredentials(char const* keyPath = kCredentialsKeyPath);

// Reads one line (without its end) of at most `maxBytes` from standard
// input as UTF-8, whatever typed it: a console's is read as Unicode with its
// echo off and converted; a pipe's or a file's bytes are taken as they are,
// without a leading UTF-8 byte-order mark, and must be UTF-8. Empty on
// success, else why not ("no password on standard input"...).
std::string ReadPasswordLine(SecretString& password, size_t maxBytes);

}  // namespace vandrel

template <>
vandrel::PasswordSealApi* Seam<vandrel::PasswordSealApi>::current_;
