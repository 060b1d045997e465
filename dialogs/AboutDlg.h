// The version dialog: the product's version line and its makers' notice.
#pragma once

#include "framework/Dialog.h"
#include "framework/Static.h"

// 0 while a version dialog is open, so the command opens only one at a time.
extern int aboutAllowed;

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    CStatic versionText;  // control 1001
    CStatic legalText;    // control 1002

    DECLARE_MESSAGE_MAP()
};
