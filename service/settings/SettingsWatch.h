// Tells the running service when someone changed its settings: a change
// notification on the service's registry key, so "VandrelService config" and
// the configuration program take effect without a restart.
#pragma once

#include <windows.h>

#include "win32/UniqueHandle.h"

namespace vandrel {

class SettingsWatch {
public:
    SettingsWatch() = default;
    ~SettingsWatch() = default;  // closing the key ends the notification
    SettingsWatch(SettingsWatch const&) = delete;
    SettingsWatch& operator=(SettingsWatch const&) = delete;

    // Starts watching HKLM\<keyPath> and everything under it. False when it
    // cannot; WaitForChange then only waits for `stop`.
    bool Open(char const* keyPath);

    // Waits until the key has changed and then stayed quiet for a moment (a
    // writer sets its values one by one), or until `stop` is set. False on stop.
    bool WaitForChange(HANDLE stop);

private:
    bool Arm();

    UniqueRegistryKey key_;
    UniqueKernelHandle changed_;
};

}  // namespace vandrel
