// The timer tick's read of the shared status block, and the tray refresh
// that follows it.
#include "frame/StatusPoll.h"

#include "frame/MainFrame.h"

bool StatusFollower::Follow(StatusBlockRead const& read) {
    switch (read.outcome) {
    case StatusBlockRead::kMissing:
        busyTicks = 0;
        shown = StatusSnapshot{};
        return true;
    case StatusBlockRead::kRead:
        busyTicks = 0;
        shown = read.words;
        return true;
    case StatusBlockRead::kBusy:
        if (busyTicks < kBusyTicksUntilCommunicationLost) ++busyTicks;
        if (busyTicks < kBusyTicksUntilCommunicationLost) return false;
        // Shown again on every tick of a long hold, so a restarted shell
        // gets its icon back meanwhile.
        shown.statusWord = kWordNoConnection;
        return true;
    }
    return false;
}

bool CMainFrame::PollStatus() {
    StatusBlockRead read = ReadStatusBlock();
    if (status_.Follow(read)) RefreshTray();
    return read.outcome == StatusBlockRead::kMissing;
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
