// A real frame window driven by real messages: which handler a message or
// command reaches, how the popup menu's items are enabled, and when the
// window's object is deleted.
#include "win32/UniqueHandle.h"
#include "framework/CmdUI.h"
#include "framework/FrameWnd.h"
#include "framework/WinApp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

UINT const kCmdPlain = 40001;       // command handler only
UINT const kCmdGated = 40002;       // command handler and an update handler
UINT const kCmdUpdateOnly = 40003;  // update handler only
UINT const kCmdUnhandled = 40004;
UINT const kCmdShadowed = 40005;    // in the derived map, the base map and the app's
UINT const kCmdBaseOnly = 40006;
UINT const kCmdAppOnly = 40007;
UINT const kCmdRangeFirst = 40010;
UINT const kCmdRangeLast = 40019;
UINT const WM_PING = WM_APP + 1;    // derived and base entries
UINT const WM_ECHO = WM_APP + 2;    // base entry only
UINT const kNoResources = 999;
char const kTitle[] = "Framework test frame";

using Calls = std::vector<std::string>;
struct Journal {
    Calls calls;
    int destroyed = 0;
};

class BaseFrame : public CFrameWnd {
public:
    explicit BaseFrame(Journal& journal) : journal_(journal) {}
    ~BaseFrame() override { ++journal_.destroyed; }

protected:
    afx_msg void OnBaseShadowed() { journal_.calls.push_back("base shadowed"); }
    afx_msg void OnBaseOnly() { journal_.calls.push_back("base only"); }
    afx_msg LRESULT OnBasePing(WPARAM, LPARAM) { return 1; }
    afx_msg LRESULT OnEcho(WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam) * 2; }

    Journal& journal_;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseFrame, CFrameWnd)
    ON_COMMAND(kCmdShadowed, OnBaseShadowed)
    ON_COMMAND(kCmdBaseOnly, OnBaseOnly)
    ON_MESSAGE(WM_PING, OnBasePing)
    ON_MESSAGE(WM_ECHO, OnEcho)
END_MESSAGE_MAP()

class TestFrame : public BaseFrame {
public:
    using BaseFrame::BaseFrame;
    bool gateOpen = true;
    bool refuseCreation = false;  // PreCreateWindow fails
    bool failOnCreate = false;    // OnCreate returns -1

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override {
        return !refuseCreation && BaseFrame::PreCreateWindow(cs);
    }
    afx_msg int OnCreate(LPCREATESTRUCTA cs) {
        return failOnCreate ? -1 : BaseFrame::OnCreate(cs);
    }
    afx_msg void OnPlain() { journal_.calls.push_back("plain"); }
    afx_msg void OnGated() { journal_.calls.push_back("gated"); }
    afx_msg void OnUpdateGated(CCmdUI* ui) { ui->Enable(gateOpen); }
    afx_msg void OnUpdateEnable(CCmdUI* ui) { ui->Enable(TRUE); }
    afx_msg void OnShadowed() { journal_.calls.push_back("derived shadowed"); }
    afx_msg void OnRange() { journal_.calls.push_back("range"); }
    afx_msg LRESULT OnPing(WPARAM, LPARAM) { return 2; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestFrame, BaseFrame)
    ON_WM_CREATE()
    ON_COMMAND(kCmdPlain, OnPlain)
    ON_COMMAND(kCmdGated, OnGated)
    ON_UPDATE_COMMAND_UI(kCmdGated, OnUpdateGated)
    ON_UPDATE_COMMAND_UI(kCmdUpdateOnly, OnUpdateEnable)
    ON_COMMAND(kCmdShadowed, OnShadowed)
    ON_COMMAND_RANGE(kCmdRangeFirst, kCmdRangeLast, OnRange)
    ON_MESSAGE(WM_PING, OnPing)
END_MESSAGE_MAP()

class TestApp : public CWinApp {
public:
    explicit TestApp(Journal& journal) : journal_(journal) {}

protected:
    afx_msg void OnAppOnly() { journal_.calls.push_back("app only"); }
    afx_msg void OnAppShadowed() { journal_.calls.push_back("app shadowed"); }

    Journal& journal_;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestApp, CWinApp)
    ON_COMMAND(kCmdAppOnly, OnAppOnly)
    ON_COMMAND(kCmdShadowed, OnAppShadowed)
END_MESSAGE_MAP()

// Removes a pending WM_QUIT, returning whether there was one.
bool TakeQuit(WPARAM* code = nullptr) {
    MSG msg;
    if (!::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (code != nullptr) *code = msg.wParam;
    return true;
}

// One application object (CWinApp's constructor makes it AfxGetApp) and
// one frame window per test; the frame deletes itself with its window.
class FrameWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(nullptr, AfxGetApp());
        app = std::make_unique<TestApp>(journal);
        frame = new TestFrame(journal);
        ASSERT_TRUE(frame->CreateEx(0, nullptr, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr));
        hwnd = frame->GetSafeHwnd();
    }
    void TearDown() override {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
        app.reset();
        TakeQuit();
    }
    void Command(UINT id) { ::SendMessageA(hwnd, WM_COMMAND, id, 0); }

    Journal journal;
    std::unique_ptr<TestApp> app;
    TestFrame* frame = nullptr;
    HWND hwnd = nullptr;
};

TEST_F(FrameWindowTest, DerivedMapShadowsTheBaseAndChainsToIt) {
    EXPECT_EQ(2, ::SendMessageA(hwnd, WM_PING, 0, 0));
    EXPECT_EQ(42, ::SendMessageA(hwnd, WM_ECHO, 21, 0));
    Command(kCmdShadowed);
    Command(kCmdBaseOnly);
    EXPECT_EQ((Calls{"derived shadowed", "base only"}), journal.calls);
}

TEST_F(FrameWindowTest, RangeEntryCoversItsEndsAndNothingBeyond) {
    for (UINT id : {kCmdRangeFirst - 1, kCmdRangeFirst, kCmdRangeLast, kCmdRangeLast + 1})
        Command(id);
    EXPECT_EQ(Calls(2, "range"), journal.calls);
}

TEST_F(FrameWindowTest, CommandNobodyInTheFrameHandlesGoesToTheApplication) {
    Command(kCmdAppOnly);
    Command(kCmdShadowed);  // the frame's handler comes first
    EXPECT_EQ((Calls{"app only", "derived shadowed"}), journal.calls);
}

TEST_F(FrameWindowTest, CommandDisabledSinceTheMenuOpenedIsDropped) {
    frame->gateOpen = false;
    Command(kCmdGated);
    EXPECT_TRUE(journal.calls.empty());
    frame->gateOpen = true;
    Command(kCmdGated);
    EXPECT_EQ(Calls{"gated"}, journal.calls);
}

TEST_F(FrameWindowTest, MenuUpdatePassGivesEachItemItsHandlersState) {
    UniqueMenuHandle popup(::CreatePopupMenu());
    for (UINT id : {kCmdPlain, kCmdGated, kCmdUpdateOnly, kCmdUnhandled, kCmdAppOnly})
        ::AppendMenuA(popup.get(), MF_STRING | MF_GRAYED, id, "Item");
    ::EnableMenuItem(popup.get(), kCmdGated, MF_BYCOMMAND | MF_ENABLED);
    ::EnableMenuItem(popup.get(), kCmdUnhandled, MF_BYCOMMAND | MF_ENABLED);
    auto enabled = [&](UINT id) {
        return (::GetMenuState(popup.get(), id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
    };
    frame->gateOpen = false;
    ::SendMessageA(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup.get()), 0);
    EXPECT_TRUE(enabled(kCmdPlain));       // command handler only
    EXPECT_FALSE(enabled(kCmdGated));      // the update handler outranks the command handler
    EXPECT_TRUE(enabled(kCmdUpdateOnly));
    EXPECT_TRUE(::GetMenuState(popup.get(), kCmdUnhandled, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(enabled(kCmdAppOnly));     // the application's handler counts
    EXPECT_TRUE(journal.calls.empty());    // asking runs no command
}

TEST_F(FrameWindowTest, ClosingTheMainWindowDeletesItOnceAndEndsTheProgram) {
    app->m_pMainWnd = frame;
    ::SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(1, journal.destroyed);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hwnd));
    EXPECT_EQ(nullptr, AfxGetMainWnd());
    WPARAM code = 99;
    ASSERT_TRUE(TakeQuit(&code));
    EXPECT_EQ(0u, code);
}

TEST(WindowLifecycle, FailedCreationDeletesTheObjectExactlyOnce) {
    enum class Failure { PreCreateWindow, OnCreate, UnknownClass };
    for (Failure failure : {Failure::PreCreateWindow, Failure::OnCreate, Failure::UnknownClass}) {
        SCOPED_TRACE(static_cast<int>(failure));
        Journal journal;
        auto* frame = new TestFrame(journal);
        frame->refuseCreation = failure == Failure::PreCreateWindow;
        frame->failOnCreate = failure == Failure::OnCreate;
        BOOL created = failure == Failure::OnCreate
                           ? frame->LoadFrame(kNoResources, WS_OVERLAPPEDWINDOW)
                           : frame->CreateEx(0, failure == Failure::UnknownClass ? "No such class" : nullptr,
                                             kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr);
        EXPECT_FALSE(created);
        EXPECT_EQ(1, journal.destroyed);
    }
}

}  // namespace
