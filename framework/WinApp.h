// The application object: one per program, constructed during static
// initialisation; AfxWinMain runs its InitInstance and message loop.
#pragma once

#include "framework/AfxString.h"
#include "framework/CmdTarget.h"

class CWnd;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    HINSTANCE m_hInstance = nullptr;
    LPCSTR m_lpCmdLine = "";        // the command line after the program name
    CString m_strAppName;           // from string AFX_IDS_APP_TITLE when not given
    CString m_strRegistryKey;       // recorded by SetRegistryKey; nothing is stored under it
    CWnd* m_pMainWnd = nullptr;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return m_nExitCode; }

    // Runs the message loop until WM_QUIT; the quit message's wParam is the
    // exit code ExitInstance returns.
    virtual int Run();

    void SetRegistryKey(LPCSTR lpszRegistryKey) { m_strRegistryKey = lpszRegistryKey; }

protected:
    int m_nExitCode = 0;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// What the start-up code hands to the application as its command line: the
// program name is skipped (it ends at the first byte of value 32 or below
// outside double quotes; each double quote switches quoting), and so is
// every following byte of value 32 or below. Nothing is removed at the end.
LPCSTR AfxSkipProgramName(LPCSTR commandLine);

// The program's start: initialises the application object, runs
// InitInstance and, when it succeeds, the message loop. Returns the
// process exit code.
int AfxWinMain(HINSTANCE hInstance);
