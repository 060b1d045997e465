#include "framework/Wnd.h"

#include "framework/CmdUI.h"
#include "framework/DataExchange.h"
#include "framework/Menu.h"
#include "framework/WinApp.h"

#include <algorithm>
#include <exception>
#include <cstdint>
#include <list>
#include <string>
#include <utility>
#include <vector>

namespace {

// HWND -> object. The framework's windows are made and served on the
// user-interface thread (a worker thread only posts to them), and a
// program holds a handful at a time, so a short list does.
using HandleEntry = std::pair<HWND, CWnd*>;
std::vector<HandleEntry>& HandleMap() {
    static std::vector<HandleEntry> map;
    return map;
}

std::vector<HandleEntry>::iterator FindHandle(HWND hWnd) {
    auto& map = HandleMap();
    return std::find_if(map.begin(), map.end(), [hWnd](HandleEntry const& entry) { return entry.first == hWnd; });
}

// Appends `value` in hexadecimal; the class names below are built from it.
void AppendHex(std::string& text, std::uintptr_t value) {
    char digits[2 * sizeof value + 1];
    int at = static_cast<int>(sizeof digits) - 1;
    digits[at] = '\0';
    do {
        digits[--at] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    text += &digits[at];
}

// Set while CreateWindowEx runs for an object, so a failed creation can
// tell whether the window ever reached the object (and so whether
// WM_NCDESTROY has already handed it to PostNcDestroy).
struct WindowCreation {
    CWnd* wnd = nullptr;
    bool bound = false;
};
WindowCreation* t_creation = nullptr;

}  // namespace

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
    if (m_hWnd != nullptr && FromHandlePermanent(m_hWnd) == this) {
        // Destroying the window unbinds it on WM_NCDESTROY; a window that
        // was only attached is merely forgotten.
        HWND hWnd = m_hWnd;
        if (::IsWindow(hWnd) && ::GetWindowThreadProcessId(hWnd, nullptr) == ::GetCurrentThreadId() &&
            ::GetWindowLongPtrA(hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc)) {
            ::DestroyWindow(hWnd);
        }
        Detach();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    if (hWnd == nullptr) return nullptr;
    auto found = FindHandle(hWnd);
    return found != HandleMap().end() ? found->second : nullptr;
}

BOOL CWnd::Attach(HWND hWnd) {
    if (hWnd == nullptr || m_hWnd != nullptr) return FALSE;
    Bind(hWnd);
    return TRUE;
}

void CWnd::Bind(HWND hWnd) {
    m_hWnd = hWnd;
    auto found = FindHandle(hWnd);
    if (found != HandleMap().end()) {
        found->second = this;
    } else {
        HandleMap().emplace_back(hWnd, this);
    }
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    if (hWnd != nullptr) {
        auto found = FindHandle(hWnd);
        if (found != HandleMap().end() && found->second == this) HandleMap().erase(found);
    }
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTA& cs) {
    if (cs.lpszClass == nullptr) cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorA(nullptr, IDC_ARROW));
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                    LPVOID lpParam) {
    CREATESTRUCTA cs{};
    cs.dwExStyle = dwExStyle;
    cs.lpszClass = lpszClassName;
    cs.lpszName = lpszWindowName;
    cs.style = static_cast<LONG>(dwStyle);
    cs.x = x;
    cs.y = y;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.hwndParent = hWndParent;
    cs.hMenu = nIDorHMenu;
    cs.hInstance = AfxGetInstanceHandle();
    cs.lpCreateParams = lpParam;

    if (!PreCreateWindow(cs)) {
        PostNcDestroy();
        return FALSE;
    }
    WindowCreation creation{this, false};
    WindowCreation* outer = t_creation;
    t_creation = &creation;
    HWND hWnd = ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName,
                                  static_cast<DWORD>(cs.style), cs.x, cs.y, cs.cx, cs.cy,
                                  cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    t_creation = outer;
    if (hWnd == nullptr) {
        // A window that reached the object has had its WM_NCDESTROY, which
        // already handed the object to PostNcDestroy (it may be deleted).
        if (!creation.bound) PostNcDestroy();
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
void CWnd::SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

void CWnd::GetDlgItem(int nID, HWND* phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

int CWnd::RunModalLoop() {
    m_bContinueModal = true;
    MSG msg;
    while (m_bContinueModal) {
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: leave this loop and let the outer one
            // see the quit message too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        if (m_hWnd != nullptr && ::IsDialogMessageA(m_hWnd, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    m_bContinueModal = false;
    return m_nModalResult;
}

void CWnd::EndModalLoop(int nResult) {
    m_nModalResult = nResult;
    m_bContinueModal = false;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    // `this` may be gone here (WM_NCDESTROY, or a handler that closed the window).
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    *pResult = 0;
    if (message == WM_COMMAND) return OnCommand(wParam, lParam);
    if (message == WM_NCDESTROY) {
        OnNcDestroy();  // may delete this
        return TRUE;
    }
    AFX_MSGMAP_ENTRY const* entry = FindMessageEntry(GetMessageMap(), message, 0, 0);
    if (entry == nullptr) return FALSE;
    *pResult = CallMessageHandler(*entry, wParam, lParam);
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT nID = LOWORD(wParam);
    int nCode = HIWORD(wParam);
    if (lParam == 0) {
        // From a menu or an accelerator: the item may have been disabled
        // since the menu was shown.
        if (nID == 0) return FALSE;
        CTestCmdUI state;
        state.m_nID = nID;
        OnCmdMsg(nID, static_cast<int>(CN_UPDATE_COMMAND_UI), &state, nullptr);
        if (!state.m_bEnabled) return TRUE;
        nCode = static_cast<int>(CN_COMMAND);
    }
    return OnCmdMsg(nID, nCode, nullptr, nullptr);
}

int CWnd::OnCreate(LPCREATESTRUCTA /*lpCreateStruct*/) { return 0; }

BOOL CWnd::PreTranslateMessage(MSG* /*pMsg*/) { return FALSE; }

void CWnd::OnNcDestroy() {
    DefWindowProc(WM_NCDESTROY, 0, 0);
    if (m_bContinueModal) EndModalLoop(IDABORT);
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this) {
        // The main window going away ends the program.
        app->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    Detach();
    PostNcDestroy();
}

void AfxTraceException(char const* where) {
    std::string trace = "Perimand framework: exception dropped in ";
    trace += where;
    try {
        throw;
    } catch (std::exception const& error) {
        trace += ": ";
        trace += error.what();
    } catch (...) {
    }
    trace += "\n";
    ::OutputDebugStringA(trace.c_str());
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        // The first message of a window made by CreateEx binds it to the
        // object being created, even where a dead window of the same handle
        // value left an entry behind.
        if (message == WM_NCCREATE && t_creation != nullptr && !t_creation->bound) {
            t_creation->wnd->Bind(hWnd);
            t_creation->bound = true;
        }
        CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
        if (wnd == nullptr) return ::DefWindowProcA(hWnd, message, wParam, lParam);
        return wnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through the system's dispatch code.
        AfxTraceException("a window procedure");
        return 0;
    }
}

LPCSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon) {
    // A list: its strings never move, so the names handed out stay valid.
    static std::list<std::string> names;
    HINSTANCE instance = AfxGetInstanceHandle();
    std::string name = "Afx";
    for (std::uintptr_t part : {reinterpret_cast<std::uintptr_t>(instance), std::uintptr_t{nClassStyle},
                                reinterpret_cast<std::uintptr_t>(hCursor),
                                reinterpret_cast<std::uintptr_t>(hbrBackground),
                                reinterpret_cast<std::uintptr_t>(hIcon)}) {
        name += ':';
        AppendHex(name, part);
    }
    auto known = std::find(names.begin(), names.end(), name);
    std::string const& stored = known != names.end() ? *known : (names.push_back(name), names.back());

    WNDCLASSA existing{};
    if (!::GetClassInfoA(instance, stored.c_str(), &existing)) {
        WNDCLASSA wc{};
        wc.style = nClassStyle;
        wc.lpfnWndProc = &AfxWndProc;
        wc.hInstance = instance;
        wc.hIcon = hIcon;
        wc.hCursor = hCursor;
        wc.hbrBackground = hbrBackground;
        wc.lpszClassName = stored.c_str();
        if (!::RegisterClassA(&wc)) return nullptr;
    }
    return stored.c_str();
}
