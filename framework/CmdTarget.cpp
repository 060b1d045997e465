#include "framework/CmdTarget.h"

#include "framework/CmdUI.h"
#include "framework/Menu.h"

AFX_MSGMAP const* CCmdTarget::GetThisMessageMap() {
    static AFX_MSGMAP_ENTRY const entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
    static AFX_MSGMAP const map = {nullptr, &entries[0]};
    return &map;
}

AFX_MSGMAP const* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

AFX_MSGMAP_ENTRY const* CCmdTarget::FindMessageEntry(AFX_MSGMAP const* map, UINT nMessage,
                                                     UINT nCode, UINT nID) {
    for (; map != nullptr; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (AFX_MSGMAP_ENTRY const* entry = map->lpEntries; entry->nSig != AfxSig_end; ++entry) {
            if (entry->nMessage == nMessage && entry->nCode == nCode && nID >= entry->nID &&
                nID <= entry->nLastID) {
                return entry;
            }
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
    AFX_MSGMAP_ENTRY const* entry =
        FindMessageEntry(GetMessageMap(), WM_COMMAND, static_cast<UINT>(nCode), nID);
    if (entry == nullptr) return FALSE;
    if (pHandlerInfo != nullptr) {
        pHandlerInfo->pTarget = this;
        pHandlerInfo->pmf = entry->pfn;
        return TRUE;
    }
    // An update entry needs the item to update.
    if (entry->nSig == AfxSig_cmdui && pExtra == nullptr) return FALSE;
    CallMessageHandler(*entry, 0, 0, pExtra);
    return TRUE;
}

LRESULT CCmdTarget::CallMessageHandler(AFX_MSGMAP_ENTRY const& entry, WPARAM wParam, LPARAM lParam,
                                       void* pExtra) {
    switch (entry.nSig) {
    case AfxSig_vv:
        (this->*entry.pfn)();
        return 0;
    case AfxSig_is:
        return (this->*AfxHandlerCast<int (CCmdTarget::*)(LPCREATESTRUCTA)>(entry.pfn))(
            reinterpret_cast<LPCREATESTRUCTA>(lParam));
    case AfxSig_lwl:
        return (this->*AfxHandlerCast<LRESULT (CCmdTarget::*)(WPARAM, LPARAM)>(entry.pfn))(wParam, lParam);
    case AfxSig_cmdui:
        (this->*AfxHandlerCast<void (CCmdTarget::*)(CCmdUI*)>(entry.pfn))(static_cast<CCmdUI*>(pExtra));
        return 0;
    case AfxSig_vmub: {
        // The popup belongs to the menu being shown: borrowed, never destroyed.
        CMenu popup = CMenu::Borrow(reinterpret_cast<HMENU>(wParam));
        (this->*AfxHandlerCast<void (CCmdTarget::*)(CMenu*, UINT, BOOL)>(entry.pfn))(&popup, LOWORD(lParam),
                                                                                    HIWORD(lParam));
        return 0;
    }
    default:
        return 0;
    }
}
