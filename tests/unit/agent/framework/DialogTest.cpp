// The modal dialog loop: how it ends, what it leaves behind and how the
// dialog's controls reach the object. Each dialog is driven
// from inside its own loop by messages posted during OnInitDialog.
#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/FrameWnd.h"
#include "framework/Static.h"
#include "framework/WinApp.h"
#include "tests/unit/agent/framework/FrameworkTestIds.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

namespace {

UINT const WM_END_WITH = WM_APP + 10;  // wParam: the EndDialog result
WPARAM const kQuitCode = 7;
UINT const kWatchdogMs = 10000;
WPARAM const kWatchdogQuit = 0xDEAD;

class ProbeDialog : public CDialog {
public:
    using Step = std::function<void(ProbeDialog&)>;
    explicit ProbeDialog(Step atInit, CWnd* parent = nullptr)
        : CDialog(IDD_PROBE, parent), atInit_(std::move(atInit)) {}

    CStatic label;
    HWND window = nullptr;  // while it ran
    HWND owner = nullptr;
    BOOL ownerEnabledWhileRunning = -1;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        window = m_hWnd;
        owner = ::GetWindow(m_hWnd, GW_OWNER);
        ownerEnabledWhileRunning = ::IsWindowEnabled(owner);
        if (atInit_) atInit_(*this);
        return TRUE;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_PROBE_LABEL, label); }
    afx_msg LRESULT OnEndWith(WPARAM result, LPARAM) {
        EndDialog(static_cast<int>(result));
        return 0;
    }

    DECLARE_MESSAGE_MAP()

private:
    Step atInit_;
};

BEGIN_MESSAGE_MAP(ProbeDialog, CDialog)
    ON_MESSAGE(WM_END_WITH, OnEndWith)
END_MESSAGE_MAP()

class OwnerFrame : public CFrameWnd {
public:
    explicit OwnerFrame(int& destroyed) : destroyed_(destroyed) {}
    ~OwnerFrame() override { ++destroyed_; }

private:
    int& destroyed_;
};

// An owner window whose object the framework deletes with it; destroyed at
// the end of the test if the test left it.
struct Owner {
    explicit Owner(bool enabled) : frame(new OwnerFrame(destroyed)) {
        DWORD style = WS_POPUP | (enabled ? 0 : WS_DISABLED);
        if (frame->CreateEx(0, nullptr, "Owner", style, 0, 0, 100, 100, nullptr, nullptr))
            hwnd = frame->GetSafeHwnd();
    }
    ~Owner() {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
    int destroyed = 0;
    OwnerFrame* frame;
    HWND hwnd = nullptr;
};

// Ends a dialog that would otherwise never end, so a fault fails the test
// instead of hanging it.
void CALLBACK WatchdogFired(HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(kWatchdogQuit); }

class DialogTest : public testing::Test {
protected:
    void SetUp() override { watchdog_ = ::SetTimer(nullptr, 0, kWatchdogMs, &WatchdogFired); }
    void TearDown() override {
        ::KillTimer(nullptr, watchdog_);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
            EXPECT_NE(kWatchdogQuit, msg.wParam) << "a dialog did not end";
    }

private:
    UINT_PTR watchdog_ = 0;
};

TEST_F(DialogTest, QuitWhileRunningEndsTheDialogAndStillEndsTheProgram) {
    ProbeDialog dialog([](ProbeDialog&) { ::PostQuitMessage(static_cast<int>(kQuitCode)); });
    dialog.DoModal();
    EXPECT_FALSE(::IsWindow(dialog.window));
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(kQuitCode, msg.wParam);
}

TEST_F(DialogTest, OwnerIsDisabledWhileRunningAndLeftAsItWasFound) {
    ASSERT_EQ(nullptr, AfxGetApp());
    // An enabled parent, and a disabled main window found through the application.
    for (bool asMainWindow : {false, true}) {
        SCOPED_TRACE(asMainWindow ? "disabled main window" : "enabled parent");
        bool const enabled = !asMainWindow;
        Owner owner(enabled);
        ASSERT_NE(nullptr, owner.hwnd);
        std::unique_ptr<CWinApp> app;  // goes before the owner: no quit message
        if (asMainWindow) {
            app = std::make_unique<CWinApp>();
            app->m_pMainWnd = owner.frame;
        }
        ProbeDialog dialog([](ProbeDialog& d) { d.PostMessage(WM_COMMAND, IDOK); },
                           asMainWindow ? nullptr : owner.frame);
        EXPECT_EQ(IDOK, dialog.DoModal());
        EXPECT_EQ(owner.hwnd, dialog.owner);
        EXPECT_FALSE(dialog.ownerEnabledWhileRunning);
        EXPECT_EQ(enabled, ::IsWindowEnabled(owner.hwnd) != FALSE);
    }
}

TEST_F(DialogTest, DestroyingTheOwnerEndsTheDialogWithAbort) {
    Owner owner(true);
    ProbeDialog dialog([&](ProbeDialog&) { ::PostMessageA(owner.hwnd, WM_CLOSE, 0, 0); },
                       owner.frame);
    EXPECT_EQ(IDABORT, dialog.DoModal());
    EXPECT_FALSE(::IsWindow(owner.hwnd));
    EXPECT_EQ(1, owner.destroyed);
    EXPECT_FALSE(::IsWindow(dialog.window));
}

TEST_F(DialogTest, EndDialogEndsDoModalWithItsResultAndEveryRunBindsTheControls) {
    HWND item = nullptr;
    ProbeDialog dialog([&](ProbeDialog& d) {
        item = ::GetDlgItem(d.GetSafeHwnd(), IDC_PROBE_LABEL);
        EXPECT_NE(nullptr, item);
        EXPECT_EQ(item, d.label.GetSafeHwnd());
        EXPECT_EQ(&d.label, CWnd::FromHandlePermanent(item));
        d.PostMessage(WM_END_WITH, 4242);
    });
    EXPECT_EQ(4242, dialog.DoModal());
    EXPECT_FALSE(::IsWindow(dialog.window));
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
    HWND first = item;
    EXPECT_EQ(4242, dialog.DoModal());  // a dialog object may be shown again
    EXPECT_NE(first, item);
}

}  // namespace
