#include "tests/support/menuhook/MenuProbe.h"

#include <cstring>

#include "tests/support/e2e/HookProbe.h"

namespace menu_probe {

std::optional<OpenMenu> ReadOpenMenu(HWND window, DWORD timeoutMs) {
    const e2e::HookProbeRequest request{PERIMAND_MENU_PROBE_DLL, "PerimandMenuProbeCallWndProc",
                                        kMenuProbeMessageName, kMenuReportTag, sizeof(MenuReport)};
    std::optional<std::vector<BYTE>> bytes = e2e::AskHookProbe(window, request, timeoutMs);
    if (!bytes) return std::nullopt;
    MenuReport report;
    std::memcpy(&report, bytes->data(), sizeof report);

    OpenMenu menu{report.codePage, {}, report.count >= 0};
    for (int i = 0; i < report.count && i < static_cast<int>(kMaxItems); ++i) {
        const MenuItemReport& item = report.items[i];
        menu.items.push_back({item.id, item.state, std::u16string(item.text)});
    }
    return menu;
}

}  // namespace menu_probe
