#include "framework/CmdTarget.h"

#include "framework/CmdUI.h"

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(const AFX_MSGMAP* map, UINT nMessage,
                                                     UINT nCode, UINT nID) {
    for (; map != nullptr; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nSig != AfxSig_end; ++entry) {
            if (entry->nMessage == nMessage && entry->nCode == nCode && nID >= entry->nID &&
                nID <= entry->nLastID) {
                return entry;
            }
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
    const AFX_MSGMAP_ENTRY* entry =
        FindMessageEntry(GetMessageMap(), WM_COMMAND, static_cast<UINT>(nCode), nID);
    if (entry == nullptr) return FALSE;
    if (pHandlerInfo != nullptr) {
        pHandlerInfo->pTarget = this;
        pHandlerInfo->pmf = entry->pfn;
        return TRUE;
    }
    switch (entry->nSig) {
    case AfxSig_vv:
        (this->*entry->pfn)();
        return TRUE;
    case AfxSig_cmdui: {
        auto* cmdUI = static_cast<CCmdUI*>(pExtra);
        if (cmdUI == nullptr) return FALSE;
        (this->*AfxHandlerCast<void (CCmdTarget::*)(CCmdUI*)>(entry->pfn))(cmdUI);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

LRESULT CCmdTarget::CallMessageHandler(const AFX_MSGMAP_ENTRY& entry, WPARAM wParam,
                                       LPARAM lParam) {
    switch (entry.nSig) {
    case AfxSig_vv:
        (this->*entry.pfn)();
        return 0;
    case AfxSig_is:
        return (this->*AfxHandlerCast<int (CCmdTarget::*)(LPCREATESTRUCTA)>(entry.pfn))(
            reinterpret_cast<LPCREATESTRUCTA>(lParam));
    case AfxSig_lwl:
        return (this->*AfxHandlerCast<LRESULT (CCmdTarget::*)(WPARAM, LPARAM)>(entry.pfn))(
            wParam, lParam);
    default:
        return 0;
    }
}
