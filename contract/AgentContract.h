// How other processes recognise and reach the agent window: the agent, its
// "stop" command line, the setup program and the tests agree on these.
#pragma once

#include <windows.h>

// The shell sends mouse activity over the tray icon as this message.
UINT const WM_TRAYNOTIFY = 0x1402;

// The title a second start, "stop" and setup look for.
inline constexpr char kAgentWindowTitle[] = "Orvastel";

// The registered message that tells every agent to quit.
inline constexpr char kExitMessageName[] = "Exit";
