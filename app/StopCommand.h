// The one argument that tells a running agent to quit.
#pragma once

#include <windows.h>

// True when the whole command line (after the program name) is "stop" in
// any case. Double-byte characters of `codePage` are compared as units, so
// a trail byte never matches a letter; nothing is trimmed.
bool IsStopCommand(char const* commandLine, UINT codePage = CP_ACP);
