#include "framework/FrameWnd.h"

#include "framework/CmdUI.h"
#include "framework/Menu.h"
#include "framework/WinApp.h"

namespace {

// Commands from the system menu's range are never asked about.
constexpr UINT kFirstSystemCommand = 0xF000;

}  // namespace

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
    ON_WM_CLOSE()
    ON_WM_INITMENUPOPUP()
END_MESSAGE_MAP()

CFrameWnd::~CFrameWnd() {
    // Once given to the window the menu goes with it; before that it is ours.
    if (m_hMenuDefault != nullptr && !m_bMenuGivenToWindow) ::DestroyMenu(m_hMenuDefault);
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd) {
    HINSTANCE module = AfxGetResourceHandle();
    LPCSTR resource = MAKEINTRESOURCEA(nIDResource);

    CString fullTitle;
    if (fullTitle.LoadString(nIDResource)) {
        // A frame title string may carry more parts after a newline.
        std::string const& text = fullTitle.str();
        m_strTitle = CString(text.substr(0, text.find('\n')));
    }
    m_hIcon = ::LoadIconA(module, resource);
    m_hAccelTable = ::LoadAcceleratorsA(module, resource);
    m_hMenuDefault = ::LoadMenuA(module, resource);

    LPCSTR windowClass = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorA(nullptr, IDC_ARROW),
                                             reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), m_hIcon);
    HWND parent = pParentWnd != nullptr ? pParentWnd->GetSafeHwnd() : nullptr;
    // A window that cannot be created hands the object to PostNcDestroy,
    // whose deletion frees the menu too.
    if (!CreateEx(0, windowClass, m_strTitle, dwDefaultStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr)) {
        return FALSE;
    }
    if (m_hMenuDefault != nullptr && ::SetMenu(m_hWnd, m_hMenuDefault)) m_bMenuGivenToWindow = true;
    return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs) {
    if (cs.lpszClass == nullptr) {
        cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorA(nullptr, IDC_ARROW),
                                           reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    }
    return cs.lpszClass != nullptr;
}

void CFrameWnd::PostNcDestroy() { delete this; }

BOOL CFrameWnd::PreTranslateMessage(MSG* pMsg) {
    if (m_hAccelTable == nullptr || m_hWnd == nullptr) return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)) return FALSE;
    return ::TranslateAcceleratorA(m_hWnd, m_hAccelTable, pMsg) != 0;
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
    if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
    // A handler above may have destroyed this frame; only a command nobody
    // handled goes on to the application.
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

void CFrameWnd::OnClose() {
    // No documents to save and nothing to ask: the frame simply goes. If it
    // is the main window, its destruction ends the program.
    DestroyWindow();
}

void CFrameWnd::OnInitMenuPopup(CMenu* pPopupMenu, UINT /*nIndex*/, BOOL bSysMenu) {
    if (bSysMenu || pPopupMenu == nullptr) return;
    CCmdUI state;
    state.m_pMenu = pPopupMenu;
    int count = pPopupMenu->GetMenuItemCount();
    state.m_nIndexMax = count > 0 ? static_cast<UINT>(count) : 0;
    for (state.m_nIndex = 0; state.m_nIndex < state.m_nIndexMax; ++state.m_nIndex) {
        state.m_nID = pPopupMenu->GetMenuItemID(static_cast<int>(state.m_nIndex));
        if (state.m_nID == 0) continue;                        // separator
        if (state.m_nID == static_cast<UINT>(-1)) continue;    // nested popup
        state.DoUpdate(this, m_bAutoMenuEnable && state.m_nID < kFirstSystemCommand);
    }
}
