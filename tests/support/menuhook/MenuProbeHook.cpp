// Loaded by the system into the probed program when its thread handles a
// hooked message. Answers the probe message with the items of the popup
// menu the thread has open, and passes every message on untouched.
#include <windows.h>

#include "tests/support/menuhook/MenuProbeProtocol.h"

namespace {

BOOL CALLBACK FindOpenMenu(HWND window, LPARAM lParam) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32768") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(lParam) = window;
        return FALSE;
    }
    return TRUE;
}

void Report(HWND receiver) {
    menu_probe::MenuReport report{};
    report.codePage = GetACP();
    report.count = -1;

    HWND menuWindow = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOpenMenu, reinterpret_cast<LPARAM>(&menuWindow));
    HMENU menu = menuWindow != nullptr
                     ? reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0))
                     : nullptr;
    if (menu != nullptr) {
        int count = GetMenuItemCount(menu);
        report.count = count;
        for (int i = 0; i < count && i < static_cast<int>(menu_probe::kMaxItems); ++i) {
            menu_probe::MenuItemReport& item = report.items[i];
            item.id = GetMenuItemID(menu, i);
            item.state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            GetMenuStringW(menu, static_cast<UINT>(i), reinterpret_cast<LPWSTR>(item.text),
                           static_cast<int>(menu_probe::kMaxText), MF_BYPOSITION);
        }
    }

    COPYDATASTRUCT data{};
    data.dwData = menu_probe::kMenuReportTag;
    data.cbData = sizeof report;
    data.lpData = &report;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(receiver, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000,
                        &ignored);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK PerimandMenuProbeCallWndProc(int code, WPARAM wParam,
                                                                               LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        static const UINT probeMessage = RegisterWindowMessageA(menu_probe::kMenuProbeMessageName);
        if (probeMessage != 0 && sent->message == probeMessage) {
            Report(reinterpret_cast<HWND>(sent->wParam));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
