// The shell's notification-area call, behind a table that tests can point
// elsewhere: a real shell can't be made to refuse on demand.
#pragma once

#include <windows.h>
#include <shellapi.h>

struct TrayShellCalls {
    BOOL(WINAPI* notifyIcon)(DWORD action, PNOTIFYICONDATAA data);
};

// The table in use; the live shell unless a test has replaced it.
TrayShellCalls& TrayShell();
