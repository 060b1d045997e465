// The tray menu's commands on a real agent window: which of Agent Start and
// Agent Stop the menu offers, the re-check when a command arrives, what the
// commands store and the Configuration command's refusal of a cut path, all
// through the framework's real message paths. The version dialog is checked
// end to end, on the built agent.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/ConfigurationLauncher.h"
#include "frame/MainFrame.h"
#include "tests/unit/commands/ScriptedScm.h"
#include "frame/TrayShell.h"
#include "framework/WinApp.h"
#include "res/resource.h"

namespace {

using commands_test::ScmSwap;
using commands_test::ScriptedScm;
using commands_test::State;

constexpr UINT kMenuItems[] = {ID_AGENT_START, ID_AGENT_STOP, ID_CONFIGURATION, ID_VERSION_INFORMATION,
                               ID_TRAY_CLOSE};
constexpr UINT kScriptDelayMs = 50;
constexpr DWORD kPumpMs = 200;

BOOL WINAPI AcceptingShell(DWORD, PNOTIFYICONDATAA) { return TRUE; }

// The configuration launcher's calls, scripted.
std::string g_modulePath;
std::vector<std::string> g_shellCalls;

// Like the system: copies what fits, terminated, and returns the count, or
// the size itself when the path was cut.
DWORD WINAPI ScriptedGetModuleFileName(HMODULE, LPSTR buffer, DWORD size) {
    lstrcpynA(buffer, g_modulePath.c_str(), static_cast<int>(size));
    return g_modulePath.size() >= size ? size : static_cast<DWORD>(g_modulePath.size());
}

HINSTANCE WINAPI RecordingShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                       INT show) {
    g_shellCalls.push_back(std::string(verb) + "|" + file + "|" + parameters + "|" +
                           (directory ? directory : "<null>") + "|" + std::to_string(show));
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

void InsideMenu();

// Runs InsideMenu in the tray menu's modal loop the first time the loop
// dispatches a thread timer.
void CALLBACK RunScript(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    InsideMenu();
}

BOOL CALLBACK FindVisibleMenu(HWND window, LPARAM found) {
    char name[16] = {};
    ::GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32768") != 0 || !::IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND OurMenuWindow() {
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindVisibleMenu, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Pump(DWORD ms) {
    DWORD start = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - start < ms) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        ::Sleep(10);
    }
}

// The frame is the test application's main window, whose destruction
// queues a quit message; none may reach the next test.
void DropQuitMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// What the scripts saw, and the frame they act on.
struct Seen {
    CMainFrame* frameObject = nullptr;
    std::vector<UINT> itemStates;  // MF_* state of each item of kMenuItems
    bool menuOpen = false;
    int flagWhenChosen = -1;       // agentRunning set just before the choice
    int keyDowns = 0;              // VK_DOWN presses before VK_RETURN
};
Seen g_seen;

// Runs while the tray menu is open: reads the items' states, then closes
// the menu or, as when a status poll flips the flag meanwhile, sets the
// flag and chooses the item `keyDowns` down.
void InsideMenu() {
    HWND menuWindow = OurMenuWindow();
    g_seen.menuOpen = menuWindow != nullptr;
    HMENU popup = ::GetSubMenu(g_seen.frameObject->trayMenu.GetSafeHmenu(), 0);
    g_seen.itemStates.clear();
    for (UINT id : kMenuItems) g_seen.itemStates.push_back(::GetMenuState(popup, id, MF_BYCOMMAND));
    if (menuWindow == nullptr || g_seen.keyDowns == 0) {
        ::EndMenu();
        return;
    }
    g_seen.frameObject->agentRunning = g_seen.flagWhenChosen;
    for (int i = 0; i < g_seen.keyDowns; ++i) ::PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

class AgentWindowCommands : public ::testing::Test {
protected:
    void SetUp() override {
        DropQuitMessages();
        savedTray_ = TrayShell();
        TrayShell().notifyIcon = &AcceptingShell;
        savedLauncher_ = LauncherShell();
        LauncherShell() = {&ScriptedGetModuleFileName, &RecordingShellExecute};
        g_modulePath.clear();
        g_shellCalls.clear();
        g_seen = Seen{};

        ASSERT_EQ(nullptr, AfxGetApp());
        app_ = std::make_unique<CWinApp>();
        frame_ = new CMainFrame;
        ASSERT_TRUE(frame_->LoadFrame(IDR_MAINFRAME, WS_POPUP | WS_DISABLED));
        app_->m_pMainWnd = frame_;
        hwnd_ = frame_->GetSafeHwnd();
        // Ticks would read whatever status block the session holds.
        ::KillTimer(hwnd_, kPollTimerId);
        ASSERT_NE(nullptr, frame_->trayMenu.GetSafeHmenu());
        g_seen.frameObject = frame_;
    }

    void TearDown() override {
        if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
        app_.reset();
        DropQuitMessages();
        TrayShell() = savedTray_;
        LauncherShell() = savedLauncher_;
    }

    void ShowStatusWord(std::uint32_t word) {
        frame_->statusSnapshot.statusWord = word;
        frame_->UpdateTrayIcon(NIM_MODIFY);
    }

    void Command(UINT id) { ::SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    // Opens the tray menu as a right-click on the icon does; InsideMenu
    // runs while it is open.
    void RightClickTrayIcon() {
        ::SetTimer(nullptr, 0, kScriptDelayMs, &RunScript);
        ::SendMessageA(hwnd_, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
    }

    std::unique_ptr<CWinApp> app_;
    CMainFrame* frame_ = nullptr;
    HWND hwnd_ = nullptr;
    TrayShellCalls savedTray_{};
    LauncherShellCalls savedLauncher_{};
};

TEST_F(AgentWindowCommands, TrayMenuOffersStartOnlyWhenStoppedAndStopOnlyWhenRunning) {
    for (std::uint32_t word : {0u, 1u, 4u}) {
        SCOPED_TRACE(word);
        ShowStatusWord(word);
        RightClickTrayIcon();

        ASSERT_TRUE(g_seen.menuOpen);
        ASSERT_EQ(5u, g_seen.itemStates.size());
        const bool stopped = word == 0;
        EXPECT_EQ(stopped, (g_seen.itemStates[0] & MF_GRAYED) == 0) << "Agent Start";
        EXPECT_EQ(!stopped, (g_seen.itemStates[1] & MF_GRAYED) == 0) << "Agent Stop";
        for (size_t i = 2; i < 5; ++i) EXPECT_EQ(0u, g_seen.itemStates[i] & (MF_GRAYED | MF_DISABLED)) << i;
        EXPECT_FALSE(::IsWindowVisible(hwnd_));
    }
}

TEST_F(AgentWindowCommands, ItemChosenAfterAPollChangedTheServiceRunsOnlyIfStillAllowed) {
    struct Case {
        const char* scenario;
        std::uint32_t wordWhenOpened;
        int flagWhenChosen;
        int keyDowns;  // to reach the item
        int managerOpens;
    } const cases[] = {
        {"Start, service found running", 0, 1, 1, 0},
        {"Stop, service found stopped", 3, 0, 2, 0},
        {"Start, still stopped", 0, 0, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        ScriptedScm scm;
        ScmSwap swap(scm);
        ShowStatusWord(c.wordWhenOpened);
        g_seen.flagWhenChosen = c.flagWhenChosen;
        g_seen.keyDowns = c.keyDowns;

        RightClickTrayIcon();
        Pump(kPumpMs);

        ASSERT_TRUE(g_seen.menuOpen);
        EXPECT_EQ(c.managerOpens, scm.Count("open manager"));
    }
}

TEST_F(AgentWindowCommands, FailedCommandsSetTheFlagButUnopenedServiceLeavesIt) {
    ScriptedScm scm;
    ScmSwap swap(scm);
    scm.startSucceeds = scm.controlSucceeds = false;
    scm.whenScriptEnds = State(SERVICE_STOPPED);
    Command(ID_AGENT_START);
    EXPECT_EQ(1, frame_->agentRunning);
    Command(ID_AGENT_STOP);
    EXPECT_EQ(0, frame_->agentRunning);

    scm.serviceOpens = false;
    Command(ID_AGENT_START);
    EXPECT_EQ(0, frame_->agentRunning);
    frame_->agentRunning = 1;
    scm.managerOpens = false;
    Command(ID_AGENT_STOP);
    EXPECT_EQ(1, frame_->agentRunning);
}

TEST_F(AgentWindowCommands, ConfigurationOpensTheSiblingOnlyFromAWholePathWithRoomForTheName) {
    struct Case {
        const char* scenario;
        std::string modulePath;
        const char* opened;  // nullptr: nothing
    } const cases[] = {
        {"whole path", "C:\\Vandrel Agent\\Perimand.exe", "C:\\Vandrel Agent\\Dellomark.exe"},
        {"no path at all", "", nullptr},
        // The system hands back the first 511 bytes; the cut copy still has
        // a backslash, so a sibling could be built from it.
        {"600 bytes, cut", "C:\\" + std::string(300, 'a') + "\\" + std::string(296, 'b') + ".exe", nullptr},
        {"exactly 512 bytes", "C:\\" + std::string(kPathBufferSize - 3, 'a'), nullptr},
        {"longest whole path", "C:\\" + std::string(kPathBufferSize - 4, 'a'), "C:\\Dellomark.exe"},
        {"whole, folder too long", "C:\\" + std::string(500, 'a') + "\\P.exe", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        g_modulePath = c.modulePath;
        g_shellCalls.clear();
        Command(ID_CONFIGURATION);
        if (c.opened == nullptr) {
            EXPECT_TRUE(g_shellCalls.empty());
        } else {
            EXPECT_EQ(std::vector<std::string>{"open|" + std::string(c.opened) + "||<null>|" +
                                               std::to_string(SW_SHOWNORMAL)},
                      g_shellCalls);
        }
    }
}

}  // namespace
