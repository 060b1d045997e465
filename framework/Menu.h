// A menu handle with MFC's shape. A CMenu made by LoadMenu or Attach owns
// its menu and destroys it; one returned by GetSubMenu only borrows it.
#pragma once

#include <windows.h>

class CWnd;

class CMenu {
public:
    HMENU m_hMenu = nullptr;

    CMenu() = default;
    ~CMenu() { DestroyMenu(); }
    CMenu(CMenu const&) = delete;
    CMenu& operator=(CMenu const&) = delete;
    CMenu(CMenu&& other) noexcept;
    CMenu& operator=(CMenu&& other) noexcept;

    // A non-owning view of a menu that belongs to someone else.
    static CMenu Borrow(HMENU hMenu);

    BOOL LoadMenu(UINT nIDResource);
    BOOL Attach(HMENU hMenu);
    HMENU Detach();
    BOOL DestroyMenu();
    HMENU GetSafeHmenu() const { return m_hMenu; }

    CMenu GetSubMenu(int nPos) const;
    int GetMenuItemCount() const;
    UINT GetMenuItemID(int nPos) const;
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = nullptr) const;

private:
    bool m_owned = false;
};
