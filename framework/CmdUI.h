// The state of one user-interface item (here: a popup menu item) while the
// command map is asked whether it should be enabled.
#pragma once

#include <windows.h>

class CCmdTarget;
class CMenu;

class CCmdUI {
public:
    UINT m_nID = 0;          // command id of the item
    UINT m_nIndex = 0;       // its position in m_pMenu
    UINT m_nIndexMax = 0;    // item count of m_pMenu
    CMenu* m_pMenu = nullptr;  // the menu being updated, or null for a bare test
    BOOL m_bEnableChanged = FALSE;

    virtual ~CCmdUI() = default;

    virtual void Enable(BOOL bOn = TRUE);

    // Asks `target` for the item's state. An item whose update handler
    // decides nothing is enabled when it has a command handler, and disabled
    // and greyed when it has none (if bDisableIfNoHandler).
    void DoUpdate(CCmdTarget* target, BOOL bDisableIfNoHandler);
};

// Records the verdict without touching any menu; used to re-check a
// command at the moment it arrives.
class CTestCmdUI : public CCmdUI {
public:
    BOOL m_bEnabled = TRUE;
    void Enable(BOOL bOn = TRUE) override {
        m_bEnabled = bOn;
        m_bEnableChanged = TRUE;
    }
};
