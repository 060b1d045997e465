// A window bound to a C++ object. The binding is made when the window
// receives its first message, WM_NCCREATE, from the CreateEx that is making
// it (or, for dialogs, WM_INITDIALOG), and undone at WM_NCDESTROY, after
// which PostNcDestroy may delete the object.
#pragma once

#include "framework/CmdTarget.h"

class CDataExchange;
class CMenu;

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }  // NOLINT: implicit like MFC

    // The object bound to a window of this thread, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Binds an existing window to this object without taking over its
    // window procedure; used for controls in a dialog.
    BOOL Attach(HWND hWnd);
    HWND Detach();

    // Creates the window; lpParam reaches OnCreate as lpCreateParams.
    BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                  int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                  LPVOID lpParam = nullptr);
    virtual BOOL DestroyWindow();

    BOOL ShowWindow(int nCmdShow);
    BOOL SetForegroundWindow();
    void SetWindowText(LPCSTR lpszString);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
    BOOL KillTimer(UINT_PTR nIDEvent);
    void GetDlgItem(int nID, HWND* phWnd) const;

    // Runs DoDataExchange: TRUE copies controls to members, FALSE the reverse.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Runs a message loop until EndModalLoop or until WM_QUIT arrives; a quit
    // message is posted again so the loop outside ends as well.
    int RunModalLoop();
    virtual void EndModalLoop(int nResult);

    // The entry point every message of a bound window goes through.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Dispatches through the message map; FALSE when nothing handled it.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // Gets each message the application's loop takes for this window (or,
    // for the main window, its children) before it is dispatched; TRUE when
    // it was used up here.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

protected:
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);
    virtual void PostNcDestroy() {}
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}

    // Menu commands first pass the item's update handler again and are
    // dropped if it disables the item by now.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    afx_msg int OnCreate(LPCREATESTRUCTA lpCreateStruct);

    int m_nModalResult = -1;
    bool m_bContinueModal = false;

    DECLARE_MESSAGE_MAP()

private:
    void OnNcDestroy();
    // Binds this object to `hWnd`, replacing whatever a handle of that value
    // was bound to before.
    void Bind(HWND hWnd);
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

// Leaves a trace, for a debugger, of the exception being handled; called
// from the catch blocks that keep exceptions out of the system's code.
void AfxTraceException(char const* where);

// The window procedure of every class registered by AfxRegisterWndClass.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers (once) and names a window class served by AfxWndProc. The name
// stays valid for the life of the process.
LPCSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr,
                           HBRUSH hbrBackground = nullptr, HICON hIcon = nullptr);
