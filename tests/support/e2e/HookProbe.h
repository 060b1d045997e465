// Looking inside another program through a hook DLL: the DLL is hooked onto
// the thread of one of the program's windows, asked through a registered
// message, and answers with one WM_COPYDATA.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

namespace e2e {

struct HookProbeRequest {
    const char* dllPath;         // the probe DLL, as a host path
    const char* hookProcedure;   // its exported WH_CALLWNDPROC procedure
    const char* requestMessage;  // the registered message that asks it
    ULONG_PTR replyTag;          // COPYDATASTRUCT::dwData of the answer
    DWORD replySize;             // bytes of the answer
};

// The answer's bytes, or nothing when the hook could not be set or no
// answer came in time. Throws when the DLL cannot be used at all.
std::optional<std::vector<BYTE>> AskHookProbe(HWND window, const HookProbeRequest& request,
                                              DWORD timeoutMs);

}  // namespace e2e
