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
#include "frame/TrayIndicator.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "tests/doubles/frame/CommandState.h"
#include "tests/doubles/scm/ScriptedScm.h"
#include "tests/doubles/status/StatusBlockDouble.h"

namespace {

using commands_test::ScmSwap;
using commands_test::ScriptedScm;
using commands_test::State;

constexpr UINT kMenuItems[] = {ID_AGENT_START, ID_AGENT_STOP, ID_CONFIGURATION, ID_VERSION_INFORMATION,
                               ID_TRAY_CLOSE};
constexpr UINT kScriptDelayMs = 50;
constexpr DWORD kPumpMs = 200;

class AcceptingShell final : public TrayShellApi {
public:
    BOOL NotifyIcon(DWORD, NOTIFYICONDATAA*) override { return TRUE; }
};

// The configuration launcher's calls, scripted.
class ScriptedLauncher final : public LauncherShellApi {
public:
    std::string modulePath;
    std::vector<std::string> shellCalls;

    // Like the system: copies what fits, terminated, and returns the count,
    // or the size itself when the path was cut.
    DWORD ModuleFileName(HMODULE, LPSTR buffer, DWORD size) override {
        lstrcpynA(buffer, modulePath.c_str(), static_cast<int>(size));
        return modulePath.size() >= size ? size : static_cast<DWORD>(modulePath.size());
    }

    HINSTANCE Execute(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                           INT show) override {
        shellCalls.push_back(std::string(verb) + "|" + file + "|" + parameters + "|" +
                             (directory ? directory : "<null>") + "|" + std::to_string(show));
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
    }
};

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

// The status word a poll reads: 3 (running) or 0 (stopped).
void PollReads(perimand_test::StatusBlockDouble& block, HWND frame, bool running) {
    block.Clear();
    block.Publish(running ? 3u : 0u);
    ::SendMessageA(frame, WM_TIMER, kPollTimerId, 0);
}

// What the scripts saw, and the window they act on.
struct Seen {
    HWND frame = nullptr;
    perimand_test::StatusBlockDouble* block = nullptr;
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
    HMENU popup = menuWindow != nullptr ? reinterpret_cast<HMENU>(::SendMessageA(menuWindow, MN_GETHMENU, 0, 0))
                                        : nullptr;
    g_seen.itemStates.clear();
    for (UINT id : kMenuItems) g_seen.itemStates.push_back(::GetMenuState(popup, id, MF_BYCOMMAND));
    if (menuWindow == nullptr || g_seen.keyDowns == 0) {
        ::EndMenu();
        return;
    }
    PollReads(*g_seen.block, g_seen.frame, g_seen.flagWhenChosen != 0);
    for (int i = 0; i < g_seen.keyDowns; ++i) ::PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

class AgentWindowCommands : public ::testing::Test {
protected:
    void SetUp() override {
        DropQuitMessages();
        g_seen = Seen{};

        ASSERT_EQ(nullptr, AfxGetApp());
        app_ = std::make_unique<CWinApp>();
        frame_ = new CMainFrame;
        ASSERT_TRUE(frame_->LoadFrame(IDR_MAINFRAME, WS_POPUP | WS_DISABLED));
        app_->m_pMainWnd = frame_;
        hwnd_ = frame_->GetSafeHwnd();
        // Ticks would read whatever status block the session holds.
        ::KillTimer(hwnd_, kPollTimerId);
        g_seen.frame = hwnd_;
        g_seen.block = &block_;
    }

    void TearDown() override {
        if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
        app_.reset();
        DropQuitMessages();
    }

    void ShowStatusWord(std::uint32_t word) {
        block_.Clear();
        ASSERT_TRUE(block_.Publish(word));
        ::SendMessageA(hwnd_, WM_TIMER, kPollTimerId, 0);
    }

    // Which of Agent Start and Agent Stop the tray menu would offer now.
    bool StartOffered() { return frame_test::CommandEnabled(*frame_, ID_AGENT_START); }

    void Command(UINT id) { ::SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    // Opens the tray menu as a right-click on the icon does; InsideMenu
    // runs while it is open.
    void RightClickTrayIcon() {
        ::SetTimer(nullptr, 0, kScriptDelayMs, &RunScript);
        ::SendMessageA(hwnd_, WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
    }

    AcceptingShell tray_;
    ScopedSeam<TrayShellApi> traySwap_{tray_};
    ScriptedLauncher launcher_;
    ScopedSeam<LauncherShellApi> launcherSwap_{launcher_};
    perimand_test::StatusBlockDouble block_;
    std::unique_ptr<CWinApp> app_;
    CMainFrame* frame_ = nullptr;
    HWND hwnd_ = nullptr;
};

TEST_F(AgentWindowCommands, TrayMenuOffersStartOnlyWhenStoppedAndStopOnlyWhenRunning) {
    for (std::uint32_t word : {0u, 1u, 4u}) {
        SCOPED_TRACE(word);
        ShowStatusWord(word);
        RightClickTrayIcon();

        ASSERT_TRUE(g_seen.menuOpen);
        ASSERT_EQ(5u, g_seen.itemStates.size());
        bool const stopped = word == 0;
        EXPECT_EQ(stopped, (g_seen.itemStates[0] & MF_GRAYED) == 0) << "Agent Start";
        EXPECT_EQ(!stopped, (g_seen.itemStates[1] & MF_GRAYED) == 0) << "Agent Stop";
        for (size_t i = 2; i < 5; ++i) EXPECT_EQ(0u, g_seen.itemStates[i] & (MF_GRAYED | MF_DISABLED)) << i;
        EXPECT_FALSE(::IsWindowVisible(hwnd_));
    }
}

TEST_F(AgentWindowCommands, ItemChosenAfterAPollChangedTheServiceRunsOnlyIfStillAllowed) {
    struct Case {
        char const* scenario;
        std::uint32_t wordWhenOpened;
        int flagWhenChosen;
        int keyDowns;  // to reach the item
        int managerOpens;
    } const cases[] = {
        {"Start, service found running", 0, 1, 1, 0},
        {"Stop, service found stopped", 3, 0, 2, 0},
        {"Start, still stopped", 0, 0, 1, 1},
    };
    for (Case const& c : cases) {
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
    EXPECT_FALSE(StartOffered()) << "a failed start still counts the service as running";
    Command(ID_AGENT_STOP);
    EXPECT_TRUE(StartOffered()) << "a failed stop still counts the service as stopped";

    scm.serviceOpens = false;
    Command(ID_AGENT_START);
    EXPECT_TRUE(StartOffered()) << "a service that could not be opened changes nothing";
    scm.serviceOpens = true;
    Command(ID_AGENT_START);
    scm.managerOpens = false;
    Command(ID_AGENT_STOP);
    EXPECT_FALSE(StartOffered()) << "a manager that could not be opened changes nothing";
}

TEST_F(AgentWindowCommands, ConfigurationOpensTheSiblingOnlyFromAWholePathWithRoomForTheName) {
    struct Case {
        char const* scenario;
        std::string modulePath;
        char const* opened;  // nullptr: nothing
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
    for (Case const& c : cases) {
        SCOPED_TRACE(c.scenario);
        launcher_.modulePath = c.modulePath;
        launcher_.shellCalls.clear();
        Command(ID_CONFIGURATION);
        if (c.opened == nullptr) {
            EXPECT_TRUE(launcher_.shellCalls.empty());
        } else {
            EXPECT_EQ(std::vector<std::string>{"open|" + std::string(c.opened) + "||<null>|" +
                                               std::to_string(SW_SHOWNORMAL)},
                      launcher_.shellCalls);
        }
    }
}

}  // namespace
