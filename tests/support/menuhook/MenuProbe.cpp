#include "MenuProbe.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "e2e/Handles.h"
#include "e2e/TempFolder.h"
#include "e2e/TopLevelWindows.h"

namespace menu_probe {

namespace {

constexpr char kReceiverClass[] = "PerimandMenuProbeReceiver";

struct Answer {
    bool received = false;
    MenuReport report{};
};

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        auto* answer = reinterpret_cast<Answer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (answer != nullptr && data->dwData == kMenuReportTag && data->cbData == sizeof(MenuReport)) {
            std::memcpy(&answer->report, data->lpData, sizeof(MenuReport));
            answer->received = true;
            return TRUE;
        }
        return FALSE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::optional<OpenMenu> ReadOpenMenu(HWND window, DWORD timeoutMs) {
    const std::string path = e2e::HostPathToWindows(PERIMAND_MENU_PROBE_DLL);
    e2e::UniqueModule probe(LoadLibraryA(path.c_str()));
    if (!probe) throw std::runtime_error("cannot load the menu probe " + path);
    // Through void(*)(), the one cast GCC accepts between unrelated function types.
    const auto hookProc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(probe.get(), "PerimandMenuProbeCallWndProc")));
    if (hookProc == nullptr) throw std::runtime_error("the menu probe lacks its hook procedure");

    WNDCLASSA receiverClass{};
    receiverClass.lpfnWndProc = ReceiverProc;
    receiverClass.hInstance = GetModuleHandleA(nullptr);
    receiverClass.lpszClassName = kReceiverClass;
    RegisterClassA(&receiverClass);  // may exist from an earlier read
    e2e::UniqueWindow receiver(CreateWindowExA(0, kReceiverClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                               GetModuleHandleA(nullptr), nullptr));
    if (!receiver) throw std::runtime_error("cannot create the menu probe's receiver window");
    Answer answer;
    SetWindowLongPtrA(receiver.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answer));

    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    e2e::UniqueWindowsHook hook(SetWindowsHookExA(WH_CALLWNDPROC, hookProc, probe.get(), thread));
    if (!hook) return std::nullopt;
    // The report arrives as WM_COPYDATA while this thread waits here.
    e2e::SendWithTimeout(window, RegisterWindowMessageA(kMenuProbeMessageName),
                         reinterpret_cast<WPARAM>(receiver.get()), 0, timeoutMs);
    hook.reset();
    if (!answer.received) return std::nullopt;

    OpenMenu menu{answer.report.codePage, {}, answer.report.count >= 0};
    for (int i = 0; i < answer.report.count && i < static_cast<int>(kMaxItems); ++i) {
        const MenuItemReport& item = answer.report.items[i];
        menu.items.push_back({item.id, item.state, std::u16string(item.text)});
    }
    return menu;
}

}  // namespace menu_probe
