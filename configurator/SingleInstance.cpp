#include "configurator/SingleInstance.h"

#include "configurator/resource.h"

namespace dellomark {

namespace {

char const kInstanceMutexName[] = "Local\\Vandrel.Dellomark.Instance";
DWORD const kFindPollMs = 50;

}  // namespace

InstanceClaim::InstanceClaim() : mutex_(::CreateMutexA(nullptr, FALSE, kInstanceMutexName)) {
    // A mutex that cannot be made at all should not keep the user from
    // the dialog.
    first_ = !mutex_ || ::GetLastError() != ERROR_ALREADY_EXISTS;
}

bool BringFirstInstanceForward(DWORD waitMs) {
    ULONGLONG const end = ::GetTickCount64() + waitMs;
    HWND dialog = nullptr;
    while ((dialog = ::FindWindowA(DELLOMARK_DIALOG_CLASS, nullptr)) == nullptr && ::GetTickCount64() < end) {
        ::Sleep(kFindPollMs);
    }
    if (dialog == nullptr) return false;
    if (::IsIconic(dialog)) ::ShowWindow(dialog, SW_RESTORE);
    // This process was just started by the user's choice, so it may hand
    // the foreground on.
    ::SetForegroundWindow(dialog);
    return true;
}

}  // namespace dellomark
