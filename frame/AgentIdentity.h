// How other processes recognise and reach the agent window. Kept apart from
// MainFrame.h so the end-to-end tests, which drive the built agent from
// outside, share these without pulling in the framework.
#pragma once

#include <windows.h>

// The shell sends mouse activity over the tray icon as this message.
UINT const WM_TRAYNOTIFY = 0x1402;

// The title a second start looks for.
inline constexpr char kAgentWindowTitle[] = "Orvastel";
