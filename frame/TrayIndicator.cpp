// The notification-area icon: which icon and tooltip the status word shows,
// and whether the service counts as running.
#include "frame/MainFrame.h"

#include <cstring>

#include "frame/StatusPresentation.h"
#include "frame/TrayIndicator.h"
#include "framework/AfxString.h"
#include "framework/WinApp.h"

namespace {

#ifndef _WIN64
static_assert(kNotifyIconDataSize == 504, "record size the shell expects");
#endif

class LiveTrayShell final : public TrayShellApi {
public:
    BOOL NotifyIcon(DWORD action, NOTIFYICONDATAA* data) override { return ::Shell_NotifyIconA(action, data); }
};
LiveTrayShell g_liveTrayShell;

// Strings are loaded anew each time: a missing one reads as empty.
std::string LoadText(UINT code) {
    std::string text;
    AfxLoadStringA(AfxGetResourceHandle(), MessageTextId(code), text);
    return text;
}

}  // namespace

template <>
TrayShellApi* Seam<TrayShellApi>::current_ = &g_liveTrayShell;

NOTIFYICONDATAA TrayRecord(HWND window) {
    NOTIFYICONDATAA record;
    std::memset(&record, 0, sizeof record);
    record.cbSize = kNotifyIconDataSize;
    record.hWnd = window;
    record.uID = 0;
    return record;
}

NOTIFYICONDATAA TrayRecord(HWND window, HICON icon, std::string const& tooltip, UINT codePage) {
    NOTIFYICONDATAA record = TrayRecord(window);
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_TRAYNOTIFY;
    record.hIcon = icon;
    size_t fit = TooltipFitLength(tooltip, sizeof record.szTip, codePage);
    ::lstrcpynA(record.szTip, tooltip.c_str(), static_cast<int>(fit + 1));
    return record;
}

BOOL CMainFrame::UpdateTrayIcon(DWORD action) {
    // The call is a send to the shell's process, which can deliver sent
    // messages (a close, say) to this window while it waits.
    NestedScope shellCall(*this);
    if (action == NIM_DELETE) {
        NOTIFYICONDATAA record = TrayRecord(m_hWnd);
        return Seam<TrayShellApi>::Current().NotifyIcon(NIM_DELETE, &record);
    }

    std::optional<StatusPresentation> row = PresentationFor(status_.shown.statusWord);
    if (!row) return 0;
    agentRunning = row->agentRunning;

    std::string first = LoadText(row->codes[0]);
    std::string second = row->codeCount > 1 ? LoadText(row->codes[1]) : std::string();
    HICON icon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(row->iconId));
    // Cut in the code page the texts were converted to on loading.
    NOTIFYICONDATAA record = TrayRecord(m_hWnd, icon, JoinTooltip(first, row->codeCount > 1 ? &second : nullptr),
                                        CP_THREAD_ACP);
    return Seam<TrayShellApi>::Current().NotifyIcon(action, &record);
}
