// Dellomark: the configuration program of the monitoring service. The
// agent's Configuration command starts it with no arguments; a second start
// brings the open dialog forward instead of opening another.
#include <windows.h>

#include "configurator/ConfigDlg.h"
#include "configurator/resource.h"
#include "configurator/SingleInstance.h"
#include "framework/AfxString.h"
#include "framework/WinApp.h"

namespace {

int const kExitUsage = 2;
int const kExitNoDialog = 1;
DWORD const kFindFirstMs = 5000;

// The template names this class, so a second start can find the dialog; it
// is a dialog class in all else.
bool RegisterDialogClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &::DefDlgProcA;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDR_DELLOMARK));
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = DELLOMARK_DIALOG_CLASS;
    return ::RegisterClassA(&windowClass) != 0;
}

class CDellomarkApp : public CWinApp {
public:
    BOOL InitInstance() override {
        if (*m_lpCmdLine != '\0') {
            CString text;
            text.LoadString(IDS_NO_ARGUMENTS);
            ::MessageBoxA(nullptr, text, m_strAppName, MB_OK | MB_ICONERROR);
            m_nExitCode = kExitUsage;
            return FALSE;
        }
        dellomark::InstanceClaim claim;
        if (!claim.First()) {
            m_nExitCode = dellomark::BringFirstInstanceForward(kFindFirstMs) ? 0 : kExitNoDialog;
            return FALSE;
        }
        if (!RegisterDialogClass(m_hInstance)) {
            m_nExitCode = kExitNoDialog;
            return FALSE;
        }
        dellomark::CConfigDlg dialog;
        m_nExitCode = dialog.DoModal() == -1 ? kExitNoDialog : 0;
        return FALSE;  // the dialog was the program
    }
};

CDellomarkApp theApp;

}  // namespace
