// What the probe DLL and the test side agree on. The probe runs inside the
// probed program, as a WH_CALLWNDPROC hook on the thread of one of its
// windows, because from outside Wine answers GetClassLongPtr with 0 and no
// error, and cannot read another process's menu (GetMenuItemCount is -1):
// checks made from outside would pass by accident.
#pragma once

#include <cstdint>

namespace e2e {

// Registered message the test sends to the probed window: wParam is the
// window that receives the report as WM_COPYDATA, lParam the ProbeKind.
// The report's dwData is the kind again.
constexpr char kProbeMessageName[] = "PerimandE2EProbe";
// The probe DLL's one export, found by this plain name on both architectures.
constexpr char kProbeHookProcedure[] = "PerimandProbeCallWndProc";

enum class ProbeKind : std::uint32_t {
    Window = 1,    // the hooked window itself: WindowReport
    OpenMenu = 2,  // the popup menu its thread has open: MenuReport
};

struct WindowReport {
    static constexpr ProbeKind kKind = ProbeKind::Window;
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

constexpr std::uint32_t kMaxMenuItems = 16;
constexpr std::uint32_t kMaxMenuText = 64;

struct MenuItemReport {
    std::uint32_t id;             // GetMenuItemID
    std::uint32_t state;          // GetMenuState by position: MF_GRAYED, MF_DISABLED...
    char16_t text[kMaxMenuText];  // as UTF-16, whatever the program's code page
};

struct MenuReport {
    static constexpr ProbeKind kKind = ProbeKind::OpenMenu;
    std::uint32_t codePage;  // GetACP() of the probed program
    std::int32_t count;      // -1 when no popup menu of that thread was open
    MenuItemReport items[kMaxMenuItems];
};

}  // namespace e2e
