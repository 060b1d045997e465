#include "contract/StatusBlockReader.h"

#include <cstring>

#include "win32/UniqueHandle.h"

namespace {

// Both results mean the mutex is now ours; an abandoned one was left by a
// writer that died, and the block is still worth reading.
bool Holds(DWORD waitResult) { return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED; }

// Opens, locks and maps the block, and lets `copy` take what it wants of
// the view while the mutex is held.
template <typename Copy>
StatusBlockRead::Outcome WithLockedBlock(Copy copy) {
    UniqueKernelHandle mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, kStatusMappingName));
    UniqueKernelHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kStatusMutexName));
    if (!mapping || !mutex) return StatusBlockRead::kMissing;

    MutexLock lock;
    for (int attempt = 0; attempt < kStatusLockAttempts && !lock; ++attempt) {
        if (Holds(::WaitForSingleObject(mutex.get(), kStatusLockAttemptMs))) lock.reset(mutex.get());
    }
    if (!lock) return StatusBlockRead::kBusy;

    UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return StatusBlockRead::kBusy;
    copy(static_cast<unsigned char const*>(view.get()));
    return StatusBlockRead::kRead;
}

}  // namespace

StatusBlockRead ReadStatusBlock() {
    StatusBlockRead result;
    result.outcome = WithLockedBlock(
        [&](unsigned char const* block) { std::memcpy(&result.words, block, sizeof result.words); });
    return result;
}

StatusRecordRead ReadStatusBlockWithRecord() {
    StatusRecordRead result;
    result.block.outcome = WithLockedBlock([&](unsigned char const* block) {
        std::memcpy(&result.block.words, block, sizeof result.block.words);
        // A view is whole pages: past a smaller block it reads as zeros.
        MEMORY_BASIC_INFORMATION region{};
        SIZE_T const mapped = ::VirtualQuery(block, &region, sizeof region) ? region.RegionSize : 0;
        if (mapped > kReadingRecordOffset)
            result.hasRecord =
                DecodeReadingRecord(block + kReadingRecordOffset, mapped - kReadingRecordOffset, result.record);
    });
    return result;
}

