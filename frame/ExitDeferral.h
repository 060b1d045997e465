// An exit trigger that arrives while the agent window is inside a nested
// message loop (the tray menu) or a cross-process send (the shell's
// notification call) cannot run there: the menu's loop would swallow the quit
// message, and destroying the window would pull it out from under the code
// still running on the stack. It is held until the outermost nesting ends,
// then posted again, and runs from the main message loop like any other.
#pragma once

#include <windows.h>

class ExitDeferral {
public:
    void Enter() { ++depth_; }

    // Ends one nesting. Returns the held trigger once the outermost one has
    // ended, else 0.
    UINT Leave() {
        if (depth_ > 0) --depth_;
        if (depth_ > 0) return 0;
        UINT const held = held_;
        held_ = 0;
        return held;
    }

    // True when `trigger` must wait, and then holds it; the first held
    // trigger wins, since both end the agent.
    bool Defer(UINT trigger) {
        if (depth_ == 0) return false;
        if (held_ == 0) held_ = trigger;
        return true;
    }

private:
    int depth_ = 0;
    UINT held_ = 0;
};
