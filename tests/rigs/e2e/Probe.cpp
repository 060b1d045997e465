#include "tests/rigs/e2e/Probe.h"

#include <stdexcept>

#include "tests/rigs/e2e/Handles.h"
#include "tests/rigs/e2e/TempFolder.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace e2e {

namespace {

constexpr char kReceiverClass[] = "PerimandProbeReceiver";

struct Answer {
    ProbeKind kind;
    DWORD size;
    std::optional<std::vector<BYTE>> bytes;
};

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto const* data = reinterpret_cast<COPYDATASTRUCT const*>(lParam);
        auto* answer = reinterpret_cast<Answer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (answer && data->dwData == static_cast<ULONG_PTR>(answer->kind) && data->cbData == answer->size) {
            auto const* bytes = static_cast<BYTE const*>(data->lpData);
            answer->bytes.emplace(bytes, bytes + data->cbData);
            return TRUE;
        }
        return FALSE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::optional<std::vector<BYTE>> AskProbeBytes(HWND window, ProbeKind kind, DWORD size, DWORD timeoutMs) {
    std::string const path = HostPathToWindows(PERIMAND_E2E_PROBE_DLL);
    UniqueModule probe(LoadLibraryA(path.c_str()));
    if (!probe) {
        throw std::runtime_error("cannot load the probe " + path + " (error " + std::to_string(GetLastError()) + ")");
    }
    // Through void(*)(), the one cast GCC accepts between unrelated function types.
    auto const hookProc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(probe.get(), kProbeHookProcedure)));
    if (!hookProc) throw std::runtime_error(path + " lacks " + kProbeHookProcedure);

    WNDCLASSA receiverClass{};
    receiverClass.lpfnWndProc = ReceiverProc;
    receiverClass.hInstance = GetModuleHandleA(nullptr);
    receiverClass.lpszClassName = kReceiverClass;
    RegisterClassA(&receiverClass);  // may exist from an earlier probe
    UniqueWindow receiver(CreateWindowExA(0, kReceiverClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          GetModuleHandleA(nullptr), nullptr));
    if (!receiver) throw std::runtime_error("cannot create the probe's receiver window");
    Answer answer{kind, size, std::nullopt};
    SetWindowLongPtrA(receiver.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answer));

    DWORD const thread = GetWindowThreadProcessId(window, nullptr);
    UniqueWindowsHook hook(SetWindowsHookExA(WH_CALLWNDPROC, hookProc, probe.get(), thread));
    if (!hook) return std::nullopt;

    // The answer comes back as WM_COPYDATA sent to the receiver while this
    // thread waits in SendMessageTimeout, which handles incoming sends.
    SendWithTimeout(window, RegisterWindowMessageA(kProbeMessageName), reinterpret_cast<WPARAM>(receiver.get()),
                    static_cast<LPARAM>(kind), timeoutMs);
    hook.reset();
    return answer.bytes;
}

std::vector<MenuItem> ItemsOf(MenuReport const& report) {
    std::vector<MenuItem> items;
    for (int i = 0; i < report.count && i < static_cast<int>(kMaxMenuItems); ++i) {
        MenuItemReport const& item = report.items[i];
        // char16_t and wchar_t are both UTF-16 on Windows.
        items.push_back({item.id, item.state, std::wstring(reinterpret_cast<wchar_t const*>(item.text))});
    }
    return items;
}

}  // namespace e2e
