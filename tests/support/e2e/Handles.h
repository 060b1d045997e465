// Owners for the handle kinds only tests use, on the agent's UniqueHandle.
#pragma once

#include <windows.h>

#include "common/UniqueHandle.h"

namespace e2e {

namespace traits {

struct Window {
    using type = HWND;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyWindow(h); }
};

struct WinEventHook {
    using type = HWINEVENTHOOK;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::UnhookWinEvent(h); }
};

struct WindowsHook {
    using type = HHOOK;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::UnhookWindowsHookEx(h); }
};

struct Module {
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::FreeLibrary(h); }
};

struct Menu {
    using type = HMENU;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyMenu(h); }
};

struct GdiObject {
    using type = HGDIOBJ;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteObject(h); }
};

struct Icon {
    using type = HICON;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyIcon(h); }
};

}  // namespace traits

using UniqueWindow = UniqueHandle<traits::Window>;
using UniqueWinEventHook = UniqueHandle<traits::WinEventHook>;
using UniqueWindowsHook = UniqueHandle<traits::WindowsHook>;
using UniqueModule = UniqueHandle<traits::Module>;
using UniqueMenu = UniqueHandle<traits::Menu>;
using UniqueGdiObject = UniqueHandle<traits::GdiObject>;
using UniqueIcon = UniqueHandle<traits::Icon>;

}  // namespace e2e
