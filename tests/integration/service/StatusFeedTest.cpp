// The feed with a real block: a resume reaches the source and brings a
// reading at once, not after the interval. (A change of source is checked
// through "config" on the running service.)
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "common/UniqueHandle.h"
#include "companions/vandrel-service/StatusFeed.h"
#include "tests/support/status/SharedNamesLock.h"
#include "tests/support/status/StatusBlockDouble.h"

namespace {

DWORD const kLongIntervalMs = 600000;  // no reading falls due on its own during a test
DWORD const kBoundMs = 15000;

// Counts what the feed does to it; each reading after the first sets `read`.
class RecordingSource final : public vandrel::UpsSource {
public:
    explicit RecordingSource(uint32_t word) : word_(word), read_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    vandrel::SourceReading Next(HANDLE) override {
        if (++readings_ > 1) ::SetEvent(read_.get());
        return {word_, 55};
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

TEST(StatusFeedWithBlock, AResumeReachesTheSourceAndAReadingFollowsAtOnce) {
    perimand_test::SharedNamesLock names;
    ASSERT_TRUE(names.held());
    auto owned = std::make_unique<RecordingSource>(3);
    RecordingSource* source = owned.get();
    vandrel::StatusFeed feed(std::move(owned));
    ASSERT_FALSE(feed.Start().failed());
    perimand_test::AgentRead read = perimand_test::ReadLikeAgent();
    ASSERT_TRUE(read.copied);
    EXPECT_EQ(3u, read.words.statusWord);
    EXPECT_EQ(55u, read.words.word2);
    EXPECT_EQ(1u, read.words.word0);

    feed.NotifyResumed();
    ASSERT_TRUE(source->WaitForReading());
    EXPECT_EQ(1, source->resumes());
    feed.Close();
}

}  // namespace
