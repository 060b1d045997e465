// Loaded by the system into the probed program when its thread handles a
// hooked message. Answers the probe message with the report its kind asks
// for and passes every message on untouched.
#include <windows.h>

#include "tests/rigs/e2e/ProbeProtocol.h"

namespace {

void Send(HWND receiver, HWND target, e2e::ProbeKind kind, void* report, DWORD size) {
    COPYDATASTRUCT data{};
    data.dwData = static_cast<ULONG_PTR>(kind);
    data.cbData = size;
    data.lpData = report;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(receiver, WM_COPYDATA, reinterpret_cast<WPARAM>(target),
                        reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000, &ignored);
}

void ReportWindow(HWND target, HWND receiver) {
    e2e::WindowReport report{};
    report.classIcon = static_cast<std::uint64_t>(GetClassLongPtrA(target, GCLP_HICON));
    report.classIconSmall = static_cast<std::uint64_t>(GetClassLongPtrA(target, GCLP_HICONSM));
    report.classCursor = static_cast<std::uint64_t>(GetClassLongPtrA(target, GCLP_HCURSOR));
    report.classBrush = static_cast<std::uint64_t>(GetClassLongPtrA(target, GCLP_HBRBACKGROUND));
    report.classStyle = static_cast<std::uint32_t>(GetClassLongPtrA(target, GCL_STYLE));
    report.windowStyle = static_cast<std::uint32_t>(GetWindowLongPtrA(target, GWL_STYLE));
    report.codePage = GetACP();
    report.uiLanguage = GetUserDefaultUILanguage();
    GetClassNameA(target, report.className, sizeof report.className);
    GetWindowTextA(target, report.title, sizeof report.title);
    Send(receiver, target, report.kKind, &report, sizeof report);
}

BOOL CALLBACK FindOpenMenu(HWND window, LPARAM lParam) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32768") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(lParam) = window;
        return FALSE;
    }
    return TRUE;
}

// The popup is tracked on this thread, so it is found among its windows.
void ReportOpenMenu(HWND target, HWND receiver) {
    e2e::MenuReport report{};
    report.codePage = GetACP();
    report.count = -1;

    HWND menuWindow = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOpenMenu, reinterpret_cast<LPARAM>(&menuWindow));
    HMENU menu = menuWindow != nullptr
                     ? reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0))
                     : nullptr;
    if (menu != nullptr) {
        int const count = GetMenuItemCount(menu);
        report.count = count;
        for (int i = 0; i < count && i < static_cast<int>(e2e::kMaxMenuItems); ++i) {
            e2e::MenuItemReport& item = report.items[i];
            item.id = GetMenuItemID(menu, i);
            item.state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            GetMenuStringW(menu, static_cast<UINT>(i), reinterpret_cast<LPWSTR>(item.text),
                           static_cast<int>(e2e::kMaxMenuText), MF_BYPOSITION);
        }
    }
    Send(receiver, target, report.kKind, &report, sizeof report);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK PerimandProbeCallWndProc(int code, WPARAM wParam,
                                                                           LPARAM lParam) {
    if (code == HC_ACTION) {
        auto const* sent = reinterpret_cast<CWPSTRUCT const*>(lParam);
        static UINT const probeMessage = RegisterWindowMessageA(e2e::kProbeMessageName);
        if (probeMessage != 0 && sent->message == probeMessage) {
            HWND const receiver = reinterpret_cast<HWND>(sent->wParam);
            switch (static_cast<e2e::ProbeKind>(sent->lParam)) {
                case e2e::ProbeKind::Window: ReportWindow(sent->hwnd, receiver); break;
                case e2e::ProbeKind::OpenMenu: ReportOpenMenu(sent->hwnd, receiver); break;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
