// The service's registry keys, made one way: under an existing parent only,
// and for those only some accounts may touch (the stored password, the state
// the service reports) with their DACL.
#pragma once

#include "win32/UniqueHandle.h"

namespace win32 {

// Opens HKLM\<keyPath> for `access`, creating it (with `security`, may be
// null) only under an existing parent: a key of the service's must not
// conjure up the service's own key for a service that is not installed.
// A Win32 error code.
unsigned long CreateKeyUnderExistingParent(char const* keyPath, unsigned long access, SECURITY_ATTRIBUTES* security,
                                           UniqueRegistryKey& out);

// The same, for a key that only some accounts may touch: it gets the DACL
// of `sddl`, protected from inheritance, whether it is new or not (a key
// made by hand or by an older install may let others in, and Wine creates a
// key with the default DACL whatever it is given).
unsigned long CreateProtectedKey(char const* keyPath, char const* sddl, unsigned long access, UniqueRegistryKey& out);

}  // namespace win32
