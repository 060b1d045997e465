// The calls that shut this PC down, call that off, hibernate it and warn the
// people logged on to it. Behind a seam: a test must never reach the real
// ones (under Wine a real shutdown ends the whole session), and a real
// Windows cannot be made to refuse on demand.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32/Seam.h"

namespace vandrel {

// Power off, closing other sessions' programs without asking: a program
// waiting on "save changes?" would hold the PC up until the battery is flat.
DWORD const kShutdownFlags = SHUTDOWN_POWEROFF | SHUTDOWN_FORCE_OTHERS;
// A planned shutdown for the power environment, as Windows' own log names it.
DWORD const kShutdownReason = SHTDN_REASON_MAJOR_POWER | SHTDN_REASON_MINOR_ENVIRONMENT | SHTDN_REASON_FLAG_PLANNED;

// The shutdown privilege is enabled for each call that needs it and
// dropped again after it.
class ShutdownApi {
public:
    virtual ~ShutdownApi() = default;
    // InitiateShutdownW: ERROR_SUCCESS, or why Windows refused.
    virtual DWORD InitiateShutdown(DWORD graceSeconds, DWORD flags, DWORD reason) = 0;
    // AbortSystemShutdownW: ERROR_SUCCESS, or why not.
    virtual DWORD AbortShutdown() = 0;
    virtual bool HibernateAllowed() = 0;
    // SetSuspendState(TRUE, ...): ERROR_SUCCESS once resumed, or why not.
    virtual DWORD Hibernate() = 0;
    virtual LANGID UiLanguage() = 0;
    // The sessions a user is logged on to.
    virtual std::vector<DWORD> UserSessions() = 0;
    // Shows a message box in `session` without waiting for an answer; it
    // goes away after `timeoutSeconds`.
    virtual bool SendSessionMessage(DWORD session, std::wstring const& title, std::wstring const& text,
                                    DWORD timeoutSeconds) = 0;
};

struct SessionWarning {
    std::wstring title;
    std::wstring text;
};

// The warning for people logged on, in Japanese where Windows' own language
// is, else in English: why (the battery low, or on battery), and what comes
// after how many seconds.
SessionWarning ShutdownWarning(LANGID uiLanguage, bool critical, bool hibernate, uint32_t seconds);

}  // namespace vandrel

template <>
vandrel::ShutdownApi* Seam<vandrel::ShutdownApi>::current_;
