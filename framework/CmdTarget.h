// Root of every class that takes messages or commands through a message map.
#pragma once

#include "framework/AfxMsgMap.h"

// Filled by OnCmdMsg instead of calling the handler, for callers that only
// ask whether a command has one.
struct AFX_CMDHANDLERINFO {
    CCmdTarget* pTarget;
    AFX_PMSG pmf;
};

class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(CCmdTarget const&) = delete;
    CCmdTarget& operator=(CCmdTarget const&) = delete;

    // Looks up a command (nCode CN_COMMAND or a control notification) or a
    // command-UI update (CN_UPDATE_COMMAND_UI, pExtra the CCmdUI*) in the
    // map chain. Returns TRUE when an entry handled it, or, with
    // pHandlerInfo given, when there is an entry (which is then not called).
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);

    // First entry in the chain starting at `map` that matches, or null.
    static AFX_MSGMAP_ENTRY const* FindMessageEntry(AFX_MSGMAP const* map, UINT nMessage,
                                                    UINT nCode, UINT nID);

protected:
    static AFX_MSGMAP const* GetThisMessageMap();
    virtual AFX_MSGMAP const* GetMessageMap() const;

    // Calls an entry's handler with the arguments its signature takes: the
    // one place that turns a stored handler back into its own type.
    // `pExtra` is the CCmdUI of an update entry.
    LRESULT CallMessageHandler(AFX_MSGMAP_ENTRY const& entry, WPARAM wParam, LPARAM lParam,
                               void* pExtra = nullptr);
};
