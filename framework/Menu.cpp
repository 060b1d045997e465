#include "framework/Menu.h"

#include "framework/WinApp.h"
#include "framework/Wnd.h"

CMenu::CMenu(CMenu&& other) noexcept : m_hMenu(other.m_hMenu), m_owned(other.m_owned) {
    other.m_hMenu = nullptr;
    other.m_owned = false;
}

CMenu& CMenu::operator=(CMenu&& other) noexcept {
    if (this != &other) {
        DestroyMenu();
        m_hMenu = other.m_hMenu;
        m_owned = other.m_owned;
        other.m_hMenu = nullptr;
        other.m_owned = false;
    }
    return *this;
}

CMenu CMenu::Borrow(HMENU hMenu) {
    CMenu view;
    view.m_hMenu = hMenu;
    return view;
}

BOOL CMenu::LoadMenu(UINT nIDResource) {
    return Attach(::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDResource)));
}

BOOL CMenu::Attach(HMENU hMenu) {
    DestroyMenu();
    if (hMenu == nullptr) return FALSE;
    m_hMenu = hMenu;
    m_owned = true;
    return TRUE;
}

HMENU CMenu::Detach() {
    HMENU hMenu = m_hMenu;
    m_hMenu = nullptr;
    m_owned = false;
    return hMenu;
}

BOOL CMenu::DestroyMenu() {
    BOOL destroyed = FALSE;
    if (m_hMenu != nullptr && m_owned) destroyed = ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    m_owned = false;
    return destroyed;
}

CMenu CMenu::GetSubMenu(int nPos) const {
    return Borrow(m_hMenu != nullptr ? ::GetSubMenu(m_hMenu, nPos) : nullptr);
}

int CMenu::GetMenuItemCount() const {
    return m_hMenu != nullptr ? ::GetMenuItemCount(m_hMenu) : -1;
}

UINT CMenu::GetMenuItemID(int nPos) const {
    return m_hMenu != nullptr ? ::GetMenuItemID(m_hMenu, nPos) : static_cast<UINT>(-1);
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect) const {
    if (m_hMenu == nullptr || pWnd == nullptr) return FALSE;
    return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd->GetSafeHwnd(), lpRect);
}
