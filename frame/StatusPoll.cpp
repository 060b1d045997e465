// Reading the shared status block that the monitoring service publishes.
// Everything opened here is closed again before the tick ends.
#include "frame/MainFrame.h"

#include "common/UniqueHandle.h"
#include "common/StatusBlock.h"

#include <cstring>

namespace {

constexpr int kLockAttempts = 5;
constexpr DWORD kLockAttemptMs = 100;

// Both results mean the mutex is now ours; an abandoned one was left by a
// writer that died, and the block is still worth reading.
bool Holds(DWORD waitResult) {
    return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED;
}

}  // namespace

bool CMainFrame::PollStatus() {
    UniqueKernelHandle mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, kStatusMappingName));
    UniqueKernelHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kStatusMutexName));
    if (!mapping || !mutex) {
        statusSnapshot = StatusSnapshot{};
        RefreshTray();
        return true;
    }

    MutexLock lock;
    for (int attempt = 0; attempt < kLockAttempts && !lock; ++attempt) {
        if (Holds(::WaitForSingleObject(mutex.get(), kLockAttemptMs))) lock.reset(mutex.get());
    }
    if (!lock) return false;  // the writer kept it: this tick changes nothing

    StatusSnapshot read;
    {
        UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
        if (!view) return false;
        std::memcpy(&read, view.get(), sizeof read);
    }
    lock.reset();  // released before the shell is called

    statusSnapshot = read;
    RefreshTray();
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
