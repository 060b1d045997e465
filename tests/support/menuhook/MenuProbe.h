// Reading the popup menu another program has open, from inside it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/menuhook/MenuProbeProtocol.h"

namespace menu_probe {

struct MenuItem {
    UINT id;
    UINT state;
    std::u16string text;
    bool Enabled() const { return (state & (MF_GRAYED | MF_DISABLED)) == 0; }
};

struct OpenMenu {
    UINT codePage;
    std::vector<MenuItem> items;  // empty when no popup was open
    bool open;
};

// Hooks the probe DLL onto the thread that owns `window`, asks it for the
// popup menu that thread has open, and unhooks. Nothing when the program did
// not answer in time. Throws std::runtime_error when the probe is missing.
std::optional<OpenMenu> ReadOpenMenu(HWND window, DWORD timeoutMs);

}  // namespace menu_probe
