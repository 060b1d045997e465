// Owners for the handle kinds only tests use, on the agent's UniqueHandle.
#pragma once

#include <windows.h>

#include "win32/UniqueHandle.h"

namespace e2e {

namespace traits {

// A handle of type H that is null when invalid and given back by `Close`.
template <class H, auto Close>
struct NullOrClosedBy {
    using type = H;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { Close(h); }
};

}  // namespace traits

using UniqueWindow = UniqueHandle<traits::NullOrClosedBy<HWND, &::DestroyWindow>>;
using UniqueWinEventHook = UniqueHandle<traits::NullOrClosedBy<HWINEVENTHOOK, &::UnhookWinEvent>>;
using UniqueWindowsHook = UniqueHandle<traits::NullOrClosedBy<HHOOK, &::UnhookWindowsHookEx>>;
using UniqueModule = UniqueHandle<traits::NullOrClosedBy<HMODULE, &::FreeLibrary>>;
using UniqueMenu = UniqueHandle<traits::NullOrClosedBy<HMENU, &::DestroyMenu>>;
using UniqueGdiObject = UniqueHandle<traits::NullOrClosedBy<HGDIOBJ, &::DeleteObject>>;
using UniqueIcon = UniqueHandle<traits::NullOrClosedBy<HICON, &::DestroyIcon>>;

}  // namespace e2e
