#include "tests/integration/agent/AgentWindowFixture.h"

#include "res/resource.h"
#include "tests/doubles/frame/CommandState.h"

namespace status_test {

std::string Tip(UINT first, UINT second) {
    auto load = [](UINT id) {
        char text[128] = {};
        return std::string(text, ::LoadStringA(::GetModuleHandleA(nullptr), id, text, sizeof text));
    };
    return second == 0 ? load(first) : load(first) + " " + load(second);
}

BOOL TrayRecorder::NotifyIcon(DWORD action, NOTIFYICONDATAA* data) {
    TrayCall call;
    call.action = action;
    call.cbSize = data->cbSize;
    call.window = data->hWnd;
    call.id = data->uID;
    call.flags = data->uFlags;
    call.callbackMessage = data->uCallbackMessage;
    call.icon = data->hIcon;
    call.tip.assign(data->szTip, ::strnlen(data->szTip, sizeof data->szTip));
    calls.push_back(call);
    if (duringCall) duringCall();
    return answer;
}

HICON OwnIcon(UINT iconId) {
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId));
}

void AgentWindowTest::SetUp() {
    ASSERT_NE(932u, ::GetACP()) << "these cases compare the English texts";

    frame_ = new CountingFrame;
    // On failure LoadFrame has deleted the object already.
    if (!frame_->LoadFrame(IDR_MAINFRAME, WS_POPUP | WS_DISABLED)) {
        frame_ = nullptr;
        FAIL() << "the agent window could not be created";
    }
    window_ = frame_->GetSafeHwnd();
    // Ticks come from the tests only.
    frame_->KillTimer(kPollTimerId);
}

void AgentWindowTest::TearDown() {
    if (WindowAlive()) ::DestroyWindow(window_);
    // The exit path queues WM_QUIT for this thread; later tests pump.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

LRESULT AgentWindowTest::Tick() { return ::SendMessageA(window_, WM_TIMER, kPollTimerId, 0); }

void AgentWindowTest::Ticks(int count) {
    for (int i = 0; i < count; ++i) Tick();
}

bool AgentWindowTest::StartOffered() const { return frame_test::CommandEnabled(*frame_, ID_AGENT_START); }

LRESULT AgentWindowTest::SendRegistered(char const* name) {
    return ::SendMessageA(window_, ::RegisterWindowMessageA(name), 0, 0);
}

}  // namespace status_test
