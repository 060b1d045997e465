// What the menu probe DLL and the test side agree on. Wine cannot read a
// menu of another process (GetMenuItemCount answers -1), so the probe reads
// the open popup from inside the program, on the thread that tracks it.
#pragma once

#include <cstdint>

namespace menu_probe {

// Registered message the test sends to the program's window while its popup
// menu is open; wParam is the window that receives the report as WM_COPYDATA.
constexpr char kMenuProbeMessageName[] = "PerimandMenuProbe";
constexpr std::uintptr_t kMenuReportTag = 0x4D454E55;  // "MENU"

constexpr std::uint32_t kMaxItems = 16;
constexpr std::uint32_t kMaxText = 64;

struct MenuItemReport {
    std::uint32_t id;     // GetMenuItemID
    std::uint32_t state;  // GetMenuState by position: MF_GRAYED, MF_DISABLED...
    char16_t text[kMaxText];  // as UTF-16, whatever the program's code page
};

struct MenuReport {
    std::uint32_t codePage;  // GetACP() of the probed program
    std::int32_t count;      // -1 when no popup menu of that thread was open
    MenuItemReport items[kMaxItems];
};

}  // namespace menu_probe
