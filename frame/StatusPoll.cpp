// The timer tick's read of the shared status block, and the tray refresh
// that follows it.
#include "frame/MainFrame.h"

#include "frame/StatusBlockReader.h"

bool CMainFrame::PollStatus() {
    StatusBlockRead read = ReadStatusBlock();
    switch (read.outcome) {
    case StatusBlockRead::kMissing:
        statusSnapshot = StatusSnapshot{};
        RefreshTray();
        return true;
    case StatusBlockRead::kBusy:
        return false;  // this tick changes nothing
    case StatusBlockRead::kRead:
        statusSnapshot = read.words;
        RefreshTray();
        return false;
    }
    return false;
}

void CMainFrame::RefreshTray() {
    if (iconAdded) {
        UpdateTrayIcon(NIM_MODIFY);
        return;
    }
    // A busy shell can time out on an add that it still carries out, and it
    // then refuses every later add of the icon as a duplicate. A modify that
    // it accepts shows that the icon is there after all.
    iconAdded = (UpdateTrayIcon(NIM_ADD) || UpdateTrayIcon(NIM_MODIFY)) ? 1 : 0;
}
