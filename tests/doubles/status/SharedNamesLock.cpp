#include "tests/doubles/status/SharedNamesLock.h"

namespace perimand_test {
namespace {

char const kLockName[] = "Local\\PerimandTests.SharedNames";
DWORD const kLockWaitMs = 240000;  // longer than any one test takes

}  // namespace

SharedNamesLock::SharedNamesLock() : mutex_(::CreateMutexA(nullptr, FALSE, kLockName)) {
    if (!mutex_) return;
    // An abandoned lock only means an earlier test process crashed.
    DWORD const wait = ::WaitForSingleObject(mutex_.get(), kLockWaitMs);
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

SharedNamesLock::~SharedNamesLock() {
    if (held_) ::ReleaseMutex(mutex_.get());
}

}  // namespace perimand_test
