#include "framework/CmdUI.h"

#include "framework/CmdTarget.h"
#include "framework/Menu.h"

void CCmdUI::Enable(BOOL bOn) {
    if (m_pMenu != nullptr && m_pMenu->m_hMenu != nullptr) {
        ::EnableMenuItem(m_pMenu->m_hMenu, m_nIndex,
                         MF_BYPOSITION | (bOn ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    }
    m_bEnableChanged = TRUE;
}

void CCmdUI::DoUpdate(CCmdTarget* target, BOOL bDisableIfNoHandler) {
    m_bEnableChanged = FALSE;
    target->OnCmdMsg(m_nID, static_cast<int>(CN_UPDATE_COMMAND_UI), this, nullptr);
    if (bDisableIfNoHandler && !m_bEnableChanged) {
        AFX_CMDHANDLERINFO info{};
        Enable(target->OnCmdMsg(m_nID, static_cast<int>(CN_COMMAND), nullptr, &info));
    }
}
