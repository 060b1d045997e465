// The notification-area icon: which icon and tooltip the status word shows,
// and whether the service counts as running.
#include "frame/MainFrame.h"

#include "framework/AfxString.h"
#include "frame/StatusPresentation.h"
#include "frame/TrayShell.h"
#include "framework/WinApp.h"

#include <cstring>

TrayShellCalls& TrayShell() {
    static TrayShellCalls calls{&::Shell_NotifyIconA};
    return calls;
}

namespace {

// The record layout that carries the balloon fields and guidItem; on
// 32-bit Windows it is 504 bytes.
constexpr DWORD kNotifyIconDataSize = NOTIFYICONDATAA_V3_SIZE;
#ifndef _WIN64
static_assert(kNotifyIconDataSize == 504, "record size the shell expects");
#endif

// Strings are loaded anew each time: a missing one reads as empty.
std::string LoadText(UINT code) {
    std::string text;
    AfxLoadStringA(AfxGetResourceHandle(), MessageTextId(code), text);
    return text;
}

NOTIFYICONDATAA BlankRecord(HWND window) {
    NOTIFYICONDATAA record;
    std::memset(&record, 0, sizeof record);
    record.cbSize = kNotifyIconDataSize;
    record.hWnd = window;
    record.uID = 0;
    return record;
}

}  // namespace

BOOL CMainFrame::UpdateTrayIcon(DWORD action) {
    NOTIFYICONDATAA record = BlankRecord(m_hWnd);
    // The call is a send to the shell's process, which can deliver sent
    // messages (a close, say) to this window while it waits.
    NestedScope shellCall(*this);
    if (action == NIM_DELETE) return TrayShell().notifyIcon(NIM_DELETE, &record);

    std::optional<StatusPresentation> row = PresentationFor(statusSnapshot.statusWord);
    if (!row) return 0;
    agentRunning = row->agentRunning;

    std::string first = LoadText(row->codes[0]);
    std::string second = row->codeCount > 1 ? LoadText(row->codes[1]) : std::string();
    std::string tooltip = JoinTooltip(first, row->codeCount > 1 ? &second : nullptr);

    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_TRAYNOTIFY;
    record.hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(row->iconId));
    // Cut in the code page the texts were converted to on loading.
    size_t fit = TooltipFitLength(tooltip, sizeof record.szTip, CP_THREAD_ACP);
    ::lstrcpynA(record.szTip, tooltip.c_str(), static_cast<int>(fit + 1));
    return TrayShell().notifyIcon(action, &record);
}
