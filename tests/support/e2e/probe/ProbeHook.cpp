// Loaded by the system into the probed program when its thread handles a
// hooked message. Answers the probe message with a ProbeReport and passes
// every message on untouched.
#include <windows.h>

#include "tests/support/e2e/ProbeProtocol.h"

namespace {

void Report(HWND target, HWND receiver) {
    e2e::ProbeReport report{};
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

    COPYDATASTRUCT data{};
    data.dwData = e2e::kProbeReportTag;
    data.cbData = sizeof report;
    data.lpData = &report;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(receiver, WM_COPYDATA, reinterpret_cast<WPARAM>(target),
                        reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000, &ignored);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK PerimandProbeCallWndProc(int code, WPARAM wParam,
                                                                           LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        static const UINT probeMessage = RegisterWindowMessageA(e2e::kProbeMessageName);
        if (probeMessage != 0 && sent->message == probeMessage) {
            Report(sent->hwnd, reinterpret_cast<HWND>(sent->wParam));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
