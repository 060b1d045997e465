#include "tests/rigs/e2e/TopLevelWindows.h"

#include <stdexcept>

#include "contract/AgentContract.h"
#include "tests/rigs/e2e/Pump.h"

namespace e2e {

namespace {

struct Search {
    WindowQuery const* query;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectMatching(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    WindowQuery const& query = *search->query;
    if (query.processId != 0 && WindowProcessId(window) != query.processId) return TRUE;
    if (!query.className.empty() && WindowClassName(window) != query.className) return TRUE;
    if (!query.title.empty() && WindowTitle(window) != query.title) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

constexpr int kTextLimit = 512;

}  // namespace

std::vector<HWND> FindTopLevelWindows(WindowQuery const& query) {
    Search search{&query, {}};
    EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(WindowQuery const& query, DWORD timeoutMs) {
    HWND found = nullptr;
    PumpUntil(
        [&] {
            std::vector<HWND> const windows = FindTopLevelWindows(query);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return PumpUntil([window] { return !IsWindow(window); }, timeoutMs);
}

std::string WindowTitle(HWND window) {
    char text[kTextLimit] = {};
    // For another process's window this reads the title the system keeps,
    // without sending WM_GETTEXT, so a busy program cannot block us.
    GetWindowTextA(window, text, kTextLimit);
    return text;
}

std::string WindowClassName(HWND window) {
    char name[kTextLimit] = {};
    GetClassNameA(window, name, kTextLimit);
    return name;
}

DWORD WindowProcessId(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

UINT ExitMessage() {
    return RegisterWindowMessageA(kExitMessageName);
}

std::optional<LRESULT> SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       DWORD timeoutMs) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result)) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

TestWindow::TestWindow(std::string const& title, std::string const& className)
    : className_(className) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className_.c_str();
    RegisterClassA(&windowClass);  // may exist already from an earlier TestWindow
    window_.reset(CreateWindowExA(0, className_.c_str(), title.c_str(), WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
    if (!window_) {
        throw std::runtime_error("cannot create the test window \"" + title + "\" (error " +
                                 std::to_string(GetLastError()) + ")");
    }
}

TestWindow::~TestWindow() {
    window_.reset();
    UnregisterClassA(className_.c_str(), GetModuleHandleA(nullptr));
}

std::map<HWINEVENTHOOK, WindowCreationWatch*>& WindowCreationWatch::Watches() {
    static std::map<HWINEVENTHOOK, WindowCreationWatch*> watches;
    return watches;
}

WindowCreationWatch::WindowCreationWatch(DWORD processId) {
    hook_.reset(SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnEvent,
                                processId, 0, WINEVENT_OUTOFCONTEXT));
    if (hook_) Watches()[hook_.get()] = this;
}

WindowCreationWatch::~WindowCreationWatch() {
    if (hook_) Watches().erase(hook_.get());
}

void CALLBACK WindowCreationWatch::OnEvent(HWINEVENTHOOK hook, DWORD, HWND window, LONG object,
                                           LONG, DWORD, DWORD) {
    if (object != OBJID_WINDOW || window == nullptr) return;
    auto const found = Watches().find(hook);
    if (found == Watches().end()) return;
    found->second->created_.push_back(IsWindow(window) ? WindowClassName(window) : std::string());
}

}  // namespace e2e
