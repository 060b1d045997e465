// What the agent window would show for a menu command right now, asked the
// way the tray menu's update pass asks: through the window's command routing.
#pragma once

#include "framework/CmdTarget.h"
#include "framework/CmdUI.h"

namespace frame_test {

inline bool CommandEnabled(CCmdTarget& window, UINT id) {
    CTestCmdUI state;
    state.m_nID = id;
    window.OnCmdMsg(id, static_cast<int>(CN_UPDATE_COMMAND_UI), &state, nullptr);
    return state.m_bEnabled != FALSE;
}

}  // namespace frame_test
