// The shell's notification-area call, behind a seam (a real shell can't be
// made to refuse on demand), and the record the agent hands it.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "contract/AgentContract.h"
#include "win32/Seam.h"

class TrayShellApi {
public:
    virtual ~TrayShellApi() = default;
    virtual BOOL NotifyIcon(DWORD action, NOTIFYICONDATAA* data) = 0;
};
template <>
TrayShellApi* Seam<TrayShellApi>::current_;

// The record layout that carries the balloon fields and guidItem; on
// 32-bit Windows it is 504 bytes.
DWORD const kNotifyIconDataSize = NOTIFYICONDATAA_V3_SIZE;

// The record for icon 0 of `window`: with no icon given, what NIM_DELETE
// takes; with one, the icon, the tooltip (cut so that it fits with its
// terminator and never between the two bytes of a double-byte character of
// `codePage`) and the callback message.
NOTIFYICONDATAA TrayRecord(HWND window);
NOTIFYICONDATAA TrayRecord(HWND window, HICON icon, std::string const& tooltip, UINT codePage);
