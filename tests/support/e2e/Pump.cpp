#include "tests/support/e2e/Pump.h"

namespace e2e {

namespace {

void DispatchPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Milliseconds left before `deadline`, 0 once it has passed.
DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

constexpr DWORD kPollMs = 20;

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DispatchPending();
        if (done()) return true;
        const DWORD left = Remaining(deadline);
        if (left == 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < kPollMs ? left : kPollMs, QS_ALLINPUT);
    }
}

bool PumpUntilSignalled(HANDLE handle, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DispatchPending();
        const DWORD result =
            MsgWaitForMultipleObjects(1, &handle, FALSE, Remaining(deadline), QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            DispatchPending();
            return true;
        }
        if (result != WAIT_OBJECT_0 + 1) return false;  // timeout or failure
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

}  // namespace e2e
