#include "tests/support/e2e/HookProbe.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/support/e2e/Handles.h"
#include "tests/support/e2e/TempFolder.h"
#include "tests/support/e2e/TopLevelWindows.h"

namespace e2e {

namespace {

constexpr char kReceiverClass[] = "PerimandHookProbeReceiver";

struct Answer {
    ULONG_PTR tag;
    DWORD size;
    std::optional<std::vector<BYTE>> bytes;
};

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        auto* answer = reinterpret_cast<Answer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (answer && data->dwData == answer->tag && data->cbData == answer->size) {
            const auto* bytes = static_cast<const BYTE*>(data->lpData);
            answer->bytes.emplace(bytes, bytes + data->cbData);
            return TRUE;
        }
        return FALSE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::optional<std::vector<BYTE>> AskHookProbe(HWND window, const HookProbeRequest& request,
                                              DWORD timeoutMs) {
    const std::string path = HostPathToWindows(request.dllPath);
    UniqueModule probe(LoadLibraryA(path.c_str()));
    if (!probe) {
        throw std::runtime_error("cannot load the probe " + path + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    // Through void(*)(), the one cast GCC accepts between unrelated function types.
    const auto hookProc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(probe.get(), request.hookProcedure)));
    if (!hookProc) throw std::runtime_error(path + " lacks " + request.hookProcedure);

    WNDCLASSA receiverClass{};
    receiverClass.lpfnWndProc = ReceiverProc;
    receiverClass.hInstance = GetModuleHandleA(nullptr);
    receiverClass.lpszClassName = kReceiverClass;
    RegisterClassA(&receiverClass);  // may exist from an earlier probe
    UniqueWindow receiver(CreateWindowExA(0, kReceiverClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, GetModuleHandleA(nullptr), nullptr));
    if (!receiver) throw std::runtime_error("cannot create the probe's receiver window");
    Answer answer{request.replyTag, request.replySize, std::nullopt};
    SetWindowLongPtrA(receiver.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answer));

    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    UniqueWindowsHook hook(SetWindowsHookExA(WH_CALLWNDPROC, hookProc, probe.get(), thread));
    if (!hook) return std::nullopt;

    // The answer comes back as WM_COPYDATA sent to the receiver while this
    // thread waits in SendMessageTimeout, which handles incoming sends.
    SendWithTimeout(window, RegisterWindowMessageA(request.requestMessage),
                    reinterpret_cast<WPARAM>(receiver.get()), 0, timeoutMs);
    hook.reset();
    return answer.bytes;
}

}  // namespace e2e
