#include "contract/StatusBlockReader.h"

#include <cstring>

#include "win32/UniqueHandle.h"

namespace {

// Both results mean the mutex is now ours; an abandoned one was left by a
// writer that died, and the block is still worth reading.
bool Holds(DWORD waitResult) { return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED; }

}  // namespace

StatusBlockRead ReadStatusBlock() {
    StatusBlockRead result;
    UniqueKernelHandle mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, kStatusMappingName));
    UniqueKernelHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kStatusMutexName));
    if (!mapping || !mutex) return result;

    result.outcome = StatusBlockRead::kBusy;
    MutexLock lock;
    for (int attempt = 0; attempt < kStatusLockAttempts && !lock; ++attempt) {
        if (Holds(::WaitForSingleObject(mutex.get(), kStatusLockAttemptMs))) lock.reset(mutex.get());
    }
    if (!lock) return result;

    UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return result;
    std::memcpy(&result.words, view.get(), sizeof result.words);
    result.outcome = StatusBlockRead::kRead;
    return result;
}
