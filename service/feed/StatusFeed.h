// The service's working part, without the Service Control Manager: publishes
// the block and keeps it fed from a UPS source on a worker thread. The console
// mode and the service both run one.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "contract/StatusPublisher.h"
#include "service/feed/UpsSource.h"
#include "win32/UniqueHandle.h"

namespace vandrel {

DWORD const kWriteTimeoutMs = 1000;

// The words the block gets for a reading. Word 0 counts the published
// writes so a reader can see the block is fed; a running service never
// publishes status word 0, which readers take for "service stopped".
StatusSnapshot WordsFor(SourceReading const& reading, uint32_t writeCount);

// Where the protection stands, as the record carries it.
struct ProtectionShown {
    uint32_t state = kProtectionUnknown;  // ProtectionState
    std::string detail;
    uint64_t dueUtc = 0;  // FILETIME ticks; 0: nothing counted down
};

// The record of a reading taken at `readAtUtc` (FILETIME ticks) that the
// block carries after its words, with where the protection stands.
ReadingRecord RecordFor(SourceReading const& reading, ProtectionShown const& protection, uint64_t readAtUtc);

// The time now, UTC, in FILETIME ticks (100 ns since 1601).
uint64_t UtcNow();

// What the service does besides publishing (its record, its protection),
// told on the feed's worker thread.
class FeedObserver {
public:
    virtual ~FeedObserver() = default;
    // Every reading, once its write has been tried.
    virtual void OnReading(SourceReading const& reading) { (void)reading; }
    // A write found the block's mutex held too long; `failedWrites` so far.
    virtual void OnWriteFailed(uint32_t failedWrites) { (void)failedWrites; }
    // The machine woke from sleep; told before the first reading after it.
    virtual void OnResumed() {}
    // Where the protection stands, for the record of the reading about to
    // be published.
    virtual ProtectionShown Protection() { return {}; }
};

class StatusFeed {
public:
    // `observer`, if any, must outlive the feed's worker.
    explicit StatusFeed(std::unique_ptr<UpsSource> source, FeedObserver* observer = nullptr);
    ~StatusFeed() { Close(); }
    StatusFeed(StatusFeed const&) = delete;
    StatusFeed& operator=(StatusFeed const&) = delete;

    // Claims the block's names and starts the worker, which takes the first
    // reading at once: the block appears to readers with it, never before.
    status_block::CreateError Start();

    // The worker takes `source` and reads it at once; until that reading
    // (an answer or a failure) the block keeps the last word. Any thread.
    void ReplaceSource(std::unique_ptr<UpsSource> source);

    // The machine woke up: the worker tells the source and reads at once.
    // Any thread; returns at once.
    void NotifyResumed();

    // Asks the worker to end and returns at once.
    void RequestStop();
    // True once the worker has ended (or never ran), waiting up to `ms`.
    bool WaitStopped(DWORD ms);

    // Ends the worker; the block stays as last written.
    void StopWriting();

    // Ends the worker and closes the block.
    void Close();

private:
    void Run();
    void Publish(SourceReading const& reading);

    std::unique_ptr<UpsSource> source_;  // the worker's, once it runs
    std::mutex pendingLock_;
    std::unique_ptr<UpsSource> pending_;
    std::atomic<bool> resumed_{false};
    status_block::StatusPublisher publisher_;
    UniqueKernelHandle quit_;
    UniqueKernelHandle wake_;
    UniqueKernelHandle done_;
    std::thread worker_;
    FeedObserver* observer_;
    uint32_t writes_ = 0;
    uint32_t failedWrites_ = 0;
};

}  // namespace vandrel
