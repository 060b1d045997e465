// Looking inside another program through the probe DLL: it is hooked onto
// the thread of one of the program's windows, asked for one kind of report
// through a registered message, and answers with one WM_COPYDATA.
#pragma once

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/rigs/e2e/ProbeProtocol.h"
#include "tests/rigs/e2e/Pump.h"

namespace e2e {

// The report's bytes, or nothing when the hook could not be set or no
// answer of `size` bytes came in time (the program is hung, or its thread
// does not pump). Throws std::runtime_error when the DLL cannot be used.
std::optional<std::vector<BYTE>> AskProbeBytes(HWND window, ProbeKind kind, DWORD size, DWORD timeoutMs);

// Hooks the probe onto `window`'s thread, asks it for a Report (WindowReport
// or MenuReport) and unhooks again.
template <class Report>
std::optional<Report> AskProbe(HWND window, DWORD timeoutMs = kDefaultWaitMs) {
    std::optional<std::vector<BYTE>> const bytes = AskProbeBytes(window, Report::kKind, sizeof(Report), timeoutMs);
    if (!bytes) return std::nullopt;
    Report report;
    std::memcpy(&report, bytes->data(), sizeof report);
    return report;
}

// A menu item as the probe read it.
struct MenuItem {
    UINT id;
    UINT state;
    std::wstring text;
    bool Enabled() const { return (state & (MF_GRAYED | MF_DISABLED)) == 0; }
};

// The items of a MenuReport; empty when no popup was open.
std::vector<MenuItem> ItemsOf(MenuReport const& report);

}  // namespace e2e
