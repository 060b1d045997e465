#include "tests/support/e2e/WindowProbe.h"

#include <cstring>

#include "tests/support/e2e/HookProbe.h"

namespace e2e {

std::optional<ProbeReport> ProbeWindow(HWND window, DWORD timeoutMs) {
    const HookProbeRequest request{PERIMAND_E2E_PROBE_DLL, "PerimandProbeCallWndProc",
                                   kProbeMessageName, kProbeReportTag, sizeof(ProbeReport)};
    std::optional<std::vector<BYTE>> bytes = AskHookProbe(window, request, timeoutMs);
    if (!bytes) return std::nullopt;
    ProbeReport report;
    std::memcpy(&report, bytes->data(), sizeof report);
    return report;
}

}  // namespace e2e
