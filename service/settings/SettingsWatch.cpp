#include "service/settings/SettingsWatch.h"

namespace vandrel {
namespace {

// Long enough for a writer to set all its values, short against a poll.
DWORD const kQuietMs = 200;
DWORD const kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

}  // namespace

bool SettingsWatch::Open(char const* keyPath) {
    changed_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!changed_) return false;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_NOTIFY, key_.put()) != ERROR_SUCCESS) return false;
    return Arm();
}

bool SettingsWatch::Arm() {
    // Asynchronous: the event is set on the next change after this call.
    return ::RegNotifyChangeKeyValue(key_.get(), TRUE, kNotifyFilter, changed_.get(), TRUE) == ERROR_SUCCESS;
}

bool SettingsWatch::WaitForChange(HANDLE stop) {
    if (!key_ || !changed_) return ::WaitForSingleObject(stop, INFINITE) != WAIT_OBJECT_0;
    HANDLE const waits[] = {stop, changed_.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return false;
    for (;;) {
        if (!Arm()) return true;
        DWORD const woke = ::WaitForMultipleObjects(2, waits, FALSE, kQuietMs);
        if (woke == WAIT_TIMEOUT) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
    }
}

}  // namespace vandrel
