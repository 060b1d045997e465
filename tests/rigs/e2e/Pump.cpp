#include "tests/rigs/e2e/Pump.h"

namespace e2e {

namespace {

// WM_QUIT stays queued: it belongs to whatever loop runs around the wait.
void DispatchPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, WM_QUIT - 1, PM_REMOVE) ||
           PeekMessageA(&msg, nullptr, WM_QUIT + 1, 0xFFFFFFFF, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Milliseconds left before `deadline`, 0 once it has passed.
DWORD Remaining(ULONGLONG deadline) {
    ULONGLONG const now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// What another process does sends us nothing; look again this often.
constexpr DWORD kPollMs = 20;

}  // namespace

bool PumpUntil(std::function<bool()> const& done, DWORD timeoutMs, HANDLE wake) {
    ULONGLONG const deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DispatchPending();
        if (done()) return true;
        DWORD const left = Remaining(deadline);
        if (left == 0) return false;
        MsgWaitForMultipleObjects(wake ? 1 : 0, &wake, FALSE, left < kPollMs ? left : kPollMs, QS_ALLINPUT);
    }
}

bool PumpUntilSignalled(HANDLE handle, DWORD timeoutMs) {
    return PumpUntil([handle] { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }, timeoutMs, handle);
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

}  // namespace e2e
