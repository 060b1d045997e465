// A top-level frame window built from the resources that share one id.
#pragma once

#include "framework/AfxString.h"
#include "framework/Wnd.h"

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;
    ~CFrameWnd() override;

    CString m_strTitle;               // the title string's first part
    HMENU m_hMenuDefault = nullptr;   // the menu loaded with the frame
    HACCEL m_hAccelTable = nullptr;
    HICON m_hIcon = nullptr;
    BOOL m_bAutoMenuEnable = TRUE;    // items without any handler are greyed

    // Loads the title string, menu, accelerator table and icon that carry
    // nIDResource and creates the window with them. On failure the object
    // has been handed to PostNcDestroy (deleted) and must not be used.
    virtual BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW,
                           CWnd* pParentWnd = nullptr);

    // Translates the frame's accelerators for it and its children.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // Routes commands to the frame first, then to the application.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    void PostNcDestroy() override;

    afx_msg void OnClose();
    afx_msg void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);

    DECLARE_MESSAGE_MAP()

private:
    bool m_bMenuGivenToWindow = false;
};
