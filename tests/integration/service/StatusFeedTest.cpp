// The feed with a real block: when the block appears and what it holds while
// a source is still answering, what a held mutex costs, and a resume that
// brings a reading at once. (A change of settings is checked through
// "config" on the running service.)
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "contract/StatusBlockReader.h"
#include "service/feed/SimulatedUpsSource.h"
#include "service/feed/StatusFeed.h"
#include "tests/doubles/status/SharedNamesLock.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "win32/UniqueHandle.h"

namespace {

DWORD const kLongIntervalMs = 600000;  // no reading falls due on its own during a test
DWORD const kBoundMs = 15000;

// Counts what the feed does to it; each reading after the first sets `read`.
class RecordingSource final : public vandrel::UpsSource {
public:
    explicit RecordingSource(uint32_t word) : word_(word), read_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    vandrel::SourceReading Next(HANDLE) override {
        if (++readings_ > 1) ::SetEvent(read_.get());
        vandrel::SourceReading reading = vandrel::ReadingForWord(word_);
        reading.charge = 55;
        return reading;
    }
    DWORD IntervalMs() const override { return kLongIntervalMs; }
    void NotifyResumed() override { ++resumes_; }

    bool WaitForReading() { return ::WaitForSingleObject(read_.get(), kBoundMs) == WAIT_OBJECT_0; }
    int resumes() const { return resumes_; }

private:
    uint32_t word_;
    UniqueKernelHandle read_;
    std::atomic<int> readings_{0};
    std::atomic<int> resumes_{0};
};

// Answers only once the test lets it, as a NUT server that takes its time.
class GatedSource final : public vandrel::UpsSource {
public:
    explicit GatedSource(uint32_t word) : word_(word), answer_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    vandrel::SourceReading Next(HANDLE stop) override {
        HANDLE const waits[] = {answer_.get(), stop};
        ::WaitForMultipleObjects(2, waits, FALSE, kBoundMs);
        return vandrel::ReadingForWord(word_);
    }
    DWORD IntervalMs() const override { return kLongIntervalMs; }
    void Answer() { ::SetEvent(answer_.get()); }

private:
    uint32_t word_;
    UniqueKernelHandle answer_;
};

StatusSnapshot WaitForWord(uint32_t word) {
    perimand_test::AgentRead read;
    for (ULONGLONG const end = ::GetTickCount64() + kBoundMs; ::GetTickCount64() < end; ::Sleep(20)) {
        read = perimand_test::ReadLikeAgent();
        if (read.copied && read.words.statusWord == word) break;
    }
    return read.words;
}

TEST(StatusFeedWithBlock, TheBlockAppearsWithTheFirstReadingAndKeepsTheLastWordUntilANewSourceAnswers) {
    perimand_test::SharedNamesLock names;
    ASSERT_TRUE(names.held());
    auto first = std::make_unique<GatedSource>(1);
    GatedSource* firstSource = first.get();
    vandrel::StatusFeed feed(std::move(first));
    ASSERT_FALSE(feed.Start().failed());
    ::Sleep(300);
    EXPECT_FALSE(perimand_test::ReadLikeAgent().copied) << "no block before the source has answered";
    firstSource->Answer();
    EXPECT_EQ(1u, WaitForWord(1).word0) << "the first reading is the first write";
    // Its record came in the same write.
    StatusRecordRead const withRecord = ReadStatusBlockWithRecord();
    ASSERT_TRUE(withRecord.hasRecord);
    EXPECT_EQ(1u, withRecord.block.words.statusWord);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    uint64_t const nowTicks = uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
    EXPECT_LT(nowTicks - withRecord.record.readAtUtc, 60 * 10'000'000ull) << "read a minute ago at most";

    auto second = std::make_unique<GatedSource>(3);
    GatedSource* secondSource = second.get();
    feed.ReplaceSource(std::move(second));
    ::Sleep(300);
    EXPECT_EQ(1u, perimand_test::ReadLikeAgent().words.statusWord) << "nothing in between while it connects";
    secondSource->Answer();
    EXPECT_EQ(3u, WaitForWord(3).statusWord);
    feed.Close();
}

// A steady word every 100 ms, so a held mutex costs writes.
class QuickSource final : public vandrel::UpsSource {
public:
    vandrel::SourceReading Next(HANDLE) override { return vandrel::ReadingForWord(3); }
    DWORD IntervalMs() const override { return 100; }
};

uint32_t WriteCountInView(HANDLE mapping) {
    UniqueMappedView view(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kStatusBlockSize));
    return view ? *static_cast<uint32_t const*>(view.get()) : 0;
}

TEST(StatusFeedWithBlock, AHeldMutexHoldsOffEveryWriteAndOnlyPublishedWritesAreCounted) {
    perimand_test::SharedNamesLock names;
    ASSERT_TRUE(names.held());
    struct : vandrel::FeedObserver {
        void OnWriteFailed(uint32_t count) override { failed = count; }
        std::atomic<uint32_t> failed{0};
    } observer;
    std::atomic<uint32_t>& failed = observer.failed;
    vandrel::StatusFeed feed(std::make_unique<QuickSource>(), &observer);
    ASSERT_FALSE(feed.Start().failed());
    ASSERT_NE(0u, WaitForWord(3).word0);

    // Anyone with the agent's access can take the mutex and keep it.
    UniqueKernelHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kStatusMutexName));
    UniqueKernelHandle mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, kStatusMappingName));
    ASSERT_TRUE(mutex && mapping);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex.get(), kBoundMs));
    uint32_t const held = WriteCountInView(mapping.get());
    ::Sleep(2 * vandrel::kWriteTimeoutMs + 500);
    EXPECT_EQ(held, WriteCountInView(mapping.get())) << "nothing is written past the mutex";
    ::ReleaseMutex(mutex.get());
    EXPECT_GE(failed.load(), 2u) << "each write waits its time-out, then counts as failed";

    uint32_t next = held;
    for (ULONGLONG const end = ::GetTickCount64() + kBoundMs; next == held && ::GetTickCount64() < end; ::Sleep(5))
        next = perimand_test::ReadLikeAgent().words.word0;
    EXPECT_EQ(held + 1, next) << "failed writes are not counted in word 0";
    feed.Close();
}

TEST(StatusFeedWithBlock, AResumeReachesTheSourceAndAReadingFollowsAtOnce) {
    perimand_test::SharedNamesLock names;
    ASSERT_TRUE(names.held());
    auto owned = std::make_unique<RecordingSource>(3);
    RecordingSource* source = owned.get();
    vandrel::StatusFeed feed(std::move(owned));
    ASSERT_FALSE(feed.Start().failed());
    StatusSnapshot const words = WaitForWord(3);
    EXPECT_EQ(55u, words.word2);
    EXPECT_EQ(1u, words.word0);

    feed.NotifyResumed();
    ASSERT_TRUE(source->WaitForReading());
    EXPECT_EQ(1, source->resumes());
    feed.Close();
}

}  // namespace
