// What the probe DLL and the test side agree on. The probe runs inside the
// probed program (a WH_CALLWNDPROC hook on its thread) because Wine answers
// GetClassLongPtr for another process's window with 0 and no error, which
// would make any check of class values from outside pass by accident.
#pragma once

#include <cstdint>

namespace e2e {

// Registered message the test sends to the probed window; wParam is the
// window that receives the report as WM_COPYDATA.
constexpr char kProbeMessageName[] = "PerimandE2EProbe";
constexpr std::uintptr_t kProbeReportTag = 0x50524F42;  // "PROB"

struct ProbeReport {
    std::uint64_t classIcon;
    std::uint64_t classIconSmall;
    std::uint64_t classCursor;
    std::uint64_t classBrush;
    std::uint32_t classStyle;
    std::uint32_t windowStyle;
    std::uint32_t codePage;    // GetACP() of the probed process
    std::uint32_t uiLanguage;  // GetUserDefaultUILanguage() of the probed process
    char className[256];
    char title[256];
};

}  // namespace e2e
