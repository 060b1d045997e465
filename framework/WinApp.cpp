#include "framework/WinApp.h"

#include "framework/AfxRes.h"
#include "framework/Wnd.h"

namespace {

CWinApp* g_app = nullptr;


}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) {
    if (lpszAppName != nullptr) m_strAppName = lpszAppName;
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
    MSG msg{};
    for (;;) {
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) {
            msg.wParam = 0;
            break;
        }
        if (m_pMainWnd != nullptr && m_pMainWnd->PreTranslateMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    m_nExitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app != nullptr ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() {
    if (g_app != nullptr && g_app->m_hInstance != nullptr) return g_app->m_hInstance;
    return ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

LPCSTR AfxSkipProgramName(LPCSTR commandLine) {
    if (commandLine == nullptr) return "";
    auto at = [&](LPCSTR p) { return static_cast<unsigned char>(*p); };
    constexpr unsigned char kBlank = 32;
    LPCSTR p = commandLine;
    bool quoted = false;
    while (*p != '\0' && (quoted || at(p) > kBlank)) {
        if (*p == '"') quoted = !quoted;
        ++p;
    }
    while (*p != '\0' && at(p) <= kBlank) ++p;
    return p;
}

int AfxWinMain(HINSTANCE hInstance) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return -1;
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = AfxSkipProgramName(::GetCommandLineA());
    if (app->m_strAppName.IsEmpty()) app->m_strAppName.LoadString(AFX_IDS_APP_TITLE);

    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
