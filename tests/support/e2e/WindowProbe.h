// Looking at a window from inside the process that owns it.
#pragma once

#include <windows.h>

#include <optional>

#include "tests/support/e2e/ProbeProtocol.h"
#include "tests/support/e2e/Pump.h"

namespace e2e {

// Hooks the probe DLL onto the window's thread, asks it to describe the
// window and unhooks again. Nothing when the program did not answer in time
// (it is hung, or its thread is not pumping messages).
std::optional<ProbeReport> ProbeWindow(HWND window, DWORD timeoutMs = kDefaultWaitMs);

}  // namespace e2e
