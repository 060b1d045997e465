// Owners for the handle kinds only tests use, on the agent's UniqueHandle.
#pragma once

#include <windows.h>

#include "win32/UniqueHandle.h"

namespace e2e {

using handle_traits::NullOrClosedBy;

using UniqueWindow = UniqueHandle<NullOrClosedBy<HWND, &::DestroyWindow>>;
using UniqueWinEventHook = UniqueHandle<NullOrClosedBy<HWINEVENTHOOK, &::UnhookWinEvent>>;
using UniqueWindowsHook = UniqueHandle<NullOrClosedBy<HHOOK, &::UnhookWindowsHookEx>>;
using UniqueModule = UniqueHandle<NullOrClosedBy<HMODULE, &::FreeLibrary>>;
using UniqueMenu = UniqueMenuHandle;
using UniqueGdiObject = UniqueHandle<NullOrClosedBy<HGDIOBJ, &::DeleteObject>>;
using UniqueIcon = UniqueHandle<NullOrClosedBy<HICON, &::DestroyIcon>>;

}  // namespace e2e
