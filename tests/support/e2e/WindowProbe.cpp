#include "e2e/WindowProbe.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "e2e/Handles.h"
#include "e2e/TempFolder.h"
#include "e2e/TopLevelWindows.h"

namespace e2e {

namespace {

constexpr char kReceiverClass[] = "PerimandE2EProbeReceiver";

struct Answer {
    bool received = false;
    ProbeReport report{};
};

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        auto* answer = reinterpret_cast<Answer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (answer && data->dwData == kProbeReportTag && data->cbData == sizeof(ProbeReport)) {
            std::memcpy(&answer->report, data->lpData, sizeof(ProbeReport));
            answer->received = true;
            return TRUE;
        }
        return FALSE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HMODULE LoadProbe() {
    const std::string path = HostPathToWindows(PERIMAND_E2E_PROBE_DLL);
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        throw std::runtime_error("cannot load the probe " + path + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    return module;
}

}  // namespace

std::optional<ProbeReport> ProbeWindow(HWND window, DWORD timeoutMs) {
    UniqueModule probe(LoadProbe());
    // Through void(*)(), the one cast GCC accepts between unrelated function types.
    const auto hookProc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(
        GetProcAddress(probe.get(), "PerimandProbeCallWndProc")));
    if (!hookProc) throw std::runtime_error("the probe DLL lacks its hook procedure");

    WNDCLASSA receiverClass{};
    receiverClass.lpfnWndProc = ReceiverProc;
    receiverClass.hInstance = GetModuleHandleA(nullptr);
    receiverClass.lpszClassName = kReceiverClass;
    RegisterClassA(&receiverClass);  // may exist from an earlier probe
    UniqueWindow receiver(CreateWindowExA(0, kReceiverClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, GetModuleHandleA(nullptr), nullptr));
    if (!receiver) throw std::runtime_error("cannot create the probe's receiver window");
    Answer answer;
    SetWindowLongPtrA(receiver.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answer));

    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    UniqueWindowsHook hook(SetWindowsHookExA(WH_CALLWNDPROC, hookProc, probe.get(), thread));
    if (!hook) return std::nullopt;

    // The report comes back as WM_COPYDATA sent to the receiver while this
    // thread waits in SendMessageTimeout, which handles incoming sends.
    SendWithTimeout(window, RegisterWindowMessageA(kProbeMessageName),
                    reinterpret_cast<WPARAM>(receiver.get()), 0, timeoutMs);
    hook.reset();
    if (!answer.received) return std::nullopt;
    return answer.report;
}

}  // namespace e2e
