#include "tests/rigs/e2e/AgentUnderTest.h"

#include <shellapi.h>

#include <cwchar>
#include <iostream>

#include "tests/rigs/e2e/Handles.h"
#include "tests/rigs/e2e/Pump.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace e2e {

namespace {

// Creation events travel to us as messages; give the last ones a moment to
// arrive after the watched process ended. A grace period, not a measurement.
constexpr DWORD kEventSettleMs = 200;
constexpr int kTextLimit = 512;
constexpr char kMenuClass[] = "#32768";
constexpr char kDialogClass[] = "#32770";

// The file name of a host path given by the build.
std::string FileNameOf(std::string const& hostPath) {
    return hostPath.substr(hostPath.find_last_of('/') + 1);
}

std::string const& AgentFileName() {
    static std::string const name = FileNameOf(PERIMAND_AGENT_EXE);
    return name;
}

std::string const& ConfigurationFileName() {
    static std::string const name = FileNameOf(DELLOMARK_EXE);
    return name;
}

// Resource types by number: the RT_ macros are narrow strings in an ANSI
// build and do not mix with the W functions.
constexpr WORD kMenuType = 4;
constexpr WORD kDialogType = 5;
constexpr WORD kStringType = 6;

// The bytes of the resource stored under exactly `language`, or of the
// copy the system picks for the running user when that is 0.
std::pair<void const*, DWORD> FindResourceBytes(WORD type, WORD id, LANGID language) {
    HMODULE const self = GetModuleHandleA(nullptr);
    HRSRC found = language == 0 ? FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type))
                                : FindResourceExW(self, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), language);
    if (!found) return {nullptr, 0};
    return {LockResource(LoadResource(self, found)), SizeofResource(self, found)};
}

}  // namespace

AgentUnderTest::~AgentUnderTest() {
    process_.reset();
    if (!configurationPath_.empty()) KillProcessesNamed(ConfigurationFileName());
}

::testing::AssertionResult AgentUnderTest::Prepare(Options const& options) {
    // A test killed by a timeout cannot end what it started.
    int leftovers = KillProcessesNamed(AgentFileName());
    if (options.configurationProgram) leftovers += KillProcessesNamed(ConfigurationFileName());
    if (leftovers > 0) std::cerr << "note: ended " << leftovers << " program(s) left by an earlier run\n";
    if (HWND blocking = FindWindowA(nullptr, kAgentWindowTitle)) {
        return ::testing::AssertionFailure() << "process " << WindowProcessId(blocking) << " owns a window titled \""
                                             << WindowTitle(blocking) << "\", which keeps any agent from starting";
    }

    folder_ = std::make_unique<TempFolder>();
    agentPath_ = folder_->CopyIn(HostPathToWindows(PERIMAND_AGENT_EXE), AgentFileName());
    if (options.configurationProgram) {
        configurationPath_ = folder_->CopyIn(HostPathToWindows(DELLOMARK_EXE), ConfigurationFileName());
    }
    // Before the agent: Wine hands every icon request to the first tray window.
    if (options.tray) tray_ = std::make_unique<fake_tray::FakeTray>();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AgentUnderTest::Start(std::string const& tail) {
    process_.reset();
    process_ = std::make_unique<Process>(Process::Start(agentPath_, tail));
    window_ = WaitForWindow({kAgentWindowTitle, "", process_->Id()}, kStartWaitMs);
    if (!window_) {
        if (std::optional<DWORD> const code = process_->WaitForExit(0)) {
            return ::testing::AssertionFailure() << "the agent ended with code " << *code
                                                 << " without opening a window titled " << kAgentWindowTitle;
        }
        return ::testing::AssertionFailure() << "the agent still runs but opened no window titled "
                                             << kAgentWindowTitle;
    }
    // Minimise-then-hide happens after the window exists; a message the
    // agent answers from its loop means start-up is over.
    WaitForInputIdle(process_->Handle(), kWaitMs);
    if (!Answers()) return ::testing::AssertionFailure() << "the agent window does not answer";
    return ::testing::AssertionSuccess();
}

Finished AgentUnderTest::RunToEnd(std::string const& tail) const {
    Process process = Process::Start(agentPath_, tail, {/*suspended=*/true});
    WindowCreationWatch watch(process.Id());
    EXPECT_TRUE(watch.Attached()) << "cannot watch the windows of the new process";
    process.Resume();
    Finished finished;
    finished.exitCode = process.WaitForExit(kStartWaitMs);
    PumpFor(kEventSettleMs);
    finished.createdWindows = watch.Created();
    return finished;
}

std::optional<DWORD> AgentUnderTest::WaitForExit(DWORD timeoutMs) {
    return process_ ? process_->WaitForExit(timeoutMs) : std::nullopt;
}

void AgentUnderTest::End() {
    if (process_) process_->Kill();
}

bool AgentUnderTest::Answers(DWORD timeoutMs) const {
    return SendWithTimeout(window_, WM_NULL, 0, 0, timeoutMs).has_value();
}

bool AgentUnderTest::PostTrayCallback(UINT mouseMessage) const {
    return PostMessageA(window_, WM_TRAYNOTIFY, 0, mouseMessage) != FALSE;
}

bool AgentUnderTest::PostCommand(UINT id) const {
    return PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0) != FALSE;
}

HWND AgentUnderTest::OpenMenuWindow() const {
    for (HWND menu : FindTopLevelWindows({"", kMenuClass, process_->Id()}))
        if (IsWindowVisible(menu)) return menu;
    return nullptr;
}

HWND AgentUnderTest::OpenTrayMenu() const {
    PostTrayCallback(WM_RBUTTONDOWN);
    HWND menu = nullptr;
    PumpUntil([&] { return (menu = OpenMenuWindow()) != nullptr; }, kWaitMs);
    return menu;
}

bool AgentUnderTest::WaitForMenuClosed() const {
    return PumpUntil([&] { return OpenMenuWindow() == nullptr; }, kWaitMs);
}

std::optional<MenuReport> AgentUnderTest::ReadMenu() const {
    return AskProbe<MenuReport>(window_, kWaitMs);
}

void AgentUnderTest::ChooseItem(HWND menuWindow, int index) {
    for (int i = 0; i <= index; ++i) PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

HWND AgentUnderTest::WaitForDialog() const {
    return WaitForWindow({"", kDialogClass, process_->Id()}, kWaitMs);
}

std::optional<fake_tray::FakeTray::Found> AgentUnderTest::WaitForNotice(
    std::function<bool(fake_tray::Notification const&)> const& wanted, size_t from) const {
    DWORD const window = fake_tray::WindowId(window_);
    return tray_->WaitFor([&](fake_tray::Notification const& seen) { return seen.window == window && wanted(seen); },
                          from, kWaitMs);
}

std::optional<fake_tray::FakeTray::Found> AgentUnderTest::WaitForTray(DWORD action, size_t from) const {
    return WaitForNotice([action](fake_tray::Notification const& seen) { return seen.action == action; }, from);
}

bool AgentUnderTest::WaitForTip(std::wstring const& tip, size_t from) const {
    return WaitForNotice([&](fake_tray::Notification const& seen) { return seen.tip == tip; }, from).has_value();
}

bool AgentUnderTest::WaitForIconRemoved(size_t from) const {
    return WaitForTray(NIM_DELETE, from).has_value();
}

std::uint64_t AgentUnderTest::IconHash(UINT iconId) const {
    return fake_tray::ModuleIconHash(agentPath_, iconId);
}

std::wstring AgentString(UINT id, LANGID language) {
    // Strings are stored sixteen to a block: a length, then that many UTF-16 units.
    auto const [bytes, size] = FindResourceBytes(kStringType, static_cast<WORD>(id / 16 + 1), language);
    if (!bytes) return std::wstring();
    auto const* unit = static_cast<WCHAR const*>(bytes);
    WCHAR const* end = unit + size / sizeof(WCHAR);
    for (UINT index = 0; unit < end; ++index) {
        WORD const length = *unit++;
        if (index == id % 16) return std::wstring(unit, length);
        unit += length;
    }
    return std::wstring();
}

std::vector<std::wstring> AgentMenuTexts(UINT menuId, LANGID language) {
    UniqueMenu menu;
    auto const found = FindResourceBytes(kMenuType, static_cast<WORD>(menuId), language);
    if (found.first) menu.reset(LoadMenuIndirectW(found.first));
    std::vector<std::wstring> texts;
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    for (int i = 0; popup && i < GetMenuItemCount(popup); ++i) {
        wchar_t text[kTextLimit] = {};
        GetMenuStringW(popup, static_cast<UINT>(i), text, kTextLimit, MF_BYPOSITION);
        texts.push_back(text);
    }
    return texts;
}

std::wstring AgentDialogCaption(UINT dialogId, LANGID language) {
    auto const [bytes, size] = FindResourceBytes(kDialogType, static_cast<WORD>(dialogId), language);
    // DLGTEMPLATEEX: 26 bytes of fixed fields, then the menu and the class
    // (each 0, 0xFFFF and an ordinal, or a string), then the caption.
    constexpr DWORD kFixedBytes = 26;
    if (!bytes || size <= kFixedBytes) return std::wstring();
    auto const* unit = reinterpret_cast<WCHAR const*>(static_cast<BYTE const*>(bytes) + kFixedBytes);
    for (int field = 0; field < 2; ++field) {
        if (*unit == 0xFFFF) unit += 2;
        else unit += wcslen(unit) + 1;
    }
    return unit;
}

std::wstring TextOf(HWND window) {
    wchar_t text[kTextLimit] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, kTextLimit, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kWaitMs,
                        &ignored);
    return text;
}

std::string Utf8(std::wstring const& text) {
    int const size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string converted(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &converted[0], size, nullptr, nullptr);
    converted.resize(static_cast<size_t>(size - 1));
    return converted;
}

}  // namespace e2e
