// Building the path of the configuration program that sits beside the
// agent's own executable.
#pragma once

#include <windows.h>

#include <cstddef>

// The size of every path buffer here, terminator included.
size_t const kPathBufferSize = 512;

// The configuration program, expected in the agent's own folder.
extern char const kConfigurationProgram[];

// Length of the folder part of `path`, through its last backslash; 0 when
// there is none. The scan goes by characters of `codePage`, so the trail
// byte of a double-byte character (0x5C in "表" or "ソ" under code page 932)
// is never taken for a backslash.
size_t FolderPartLength(char const* path, UINT codePage);

// Writes the folder of `modulePath` followed by `fileName` into `out`.
// Returns false, leaving `out` untouched, when the result would not fit
// with its terminator.
bool ComposeSiblingPath(char const* modulePath, char const* fileName, UINT codePage,
                        char (&out)[kPathBufferSize]);
