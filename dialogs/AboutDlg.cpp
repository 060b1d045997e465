#include "dialogs/AboutDlg.h"

#include "framework/AfxString.h"
#include "framework/DataExchange.h"
#include "res/resource.h"

int aboutAllowed = 1;

// Button 1004 is not IDOK, so it is mapped to the OK handling here; IDOK
// and IDCANCEL (Enter, Escape, the close box) keep the base's entries.
BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
    ON_BN_CLICKED(IDC_ABOUT_OK, OnOK)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_VERSION_TEXT, versionText);
    DDX_Control(pDX, IDC_LEGAL_TEXT, legalText);
}

BOOL CAboutDlg::OnInitDialog() {
    BOOL result = CDialog::OnInitDialog();

    // One string for both lines: a missing legal notice leaves the version
    // line in it, and the second control shows that.
    CString text;
    text.LoadString(IDS_VERSION_LINE);
    versionText.SetWindowText(text);
    text.LoadString(IDS_LEGAL_NOTICE);
    legalText.SetWindowText(text);

    // The owner is hidden, so nothing else would bring the dialog forward.
    SetForegroundWindow();
    return result;
}
