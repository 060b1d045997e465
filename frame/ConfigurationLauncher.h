// The Configuration command: starts the configuration program from the
// agent's own folder. The two system calls sit behind a table that tests
// can point elsewhere, since a real system won't hand back a cut path on
// demand.
#pragma once

#include <windows.h>

#include "frame/SiblingPath.h"

struct LauncherShellCalls {
    DWORD(WINAPI* getModuleFileName)(HMODULE module, LPSTR buffer, DWORD size);
    HINSTANCE(WINAPI* shellExecute)(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                    LPCSTR directory, INT show);
};

// The table in use; the live system unless a test has replaced it.
LauncherShellCalls& LauncherShell();

// Fills `buffer` with the full path of the configuration program beside
// the running executable, reading the path in `codePage` (the ANSI one
// unless a test says otherwise). Returns false, leaving `buffer` untouched,
// when the executable's path can't be had whole or the result won't fit.
bool BuildSiblingPath(char (&buffer)[kPathBufferSize], UINT codePage = ::GetACP());
