#include "configurator/Privileges.h"

#include <windows.h>

#include "win32/UniqueHandle.h"

namespace dellomark {

namespace {

bool AdminGroupEnabled() {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                    0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    BOOL const checked = ::CheckTokenMembership(nullptr, administrators, &member);
    ::FreeSid(administrators);
    return checked && member;
}

// Systems without elevation have no such token class: Unknown.
TokenElevation QueryElevation() {
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return TokenElevation::Unknown;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size)) {
        return TokenElevation::Unknown;
    }
    switch (type) {
    case TokenElevationTypeFull: return TokenElevation::Full;
    case TokenElevationTypeLimited: return TokenElevation::Limited;
    default: return TokenElevation::Default;
    }
}

}  // namespace

SaveRight CurrentSaveRight() { return DecideSaveRight(AdminGroupEnabled(), QueryElevation()); }

}  // namespace dellomark
