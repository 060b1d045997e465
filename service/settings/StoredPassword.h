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

#include "contract/ServiceContract.h"
#include "win32/SecretString.h"

namespace vandrel {

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
// input, with the console's echo off when it is a console. Empty on
// success, else why not ("no password on standard input"...).
std::string ReadPasswordLine(SecretString& password, size_t maxBytes);

}  // namespace vandrel
