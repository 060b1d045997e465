#include "tests/doubles/status/StatusBlockDouble.h"

#include <cstring>
#include <string>

#include "contract/StatusBlockReader.h"
#include "win32/Win32Error.h"

namespace perimand_test {
namespace {


DWORD const kTakeMutexMs = 10000;   // a holder that cannot get the mutex in this time fails

::testing::AssertionResult Failure(std::string const& what, DWORD error) {
    return ::testing::AssertionFailure() << what << ": " << win32::DescribeWin32Error(error);
}

::testing::AssertionResult Failure(status_block::CreateError const& error) {
    return ::testing::AssertionFailure() << error.Describe();
}

void HoldOnThread(HANDLE mutex, DWORD ms, bool abandon, HANDLE started, HANDLE cancel, DWORD* result) {
    *result = ::WaitForSingleObject(mutex, kTakeMutexMs);
    bool const held = *result == WAIT_OBJECT_0 || *result == WAIT_ABANDONED;
    ::SetEvent(started);
    if (!held || abandon) return;  // returning while owning it abandons it
    ::WaitForSingleObject(cancel, ms);
    ::ReleaseMutex(mutex);
}

}  // namespace

AgentRead ReadLikeAgent() {
    StatusBlockRead const read = ReadStatusBlock();
    AgentRead result;
    result.found = read.outcome != StatusBlockRead::kMissing;
    result.copied = read.outcome == StatusBlockRead::kRead;
    if (result.copied) result.words = read.words;
    return result;
}

StatusBlockDouble::StatusBlockDouble() {
    cancelHolds_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EXPECT_TRUE(cancelHolds_) << win32::DescribeWin32Error(::GetLastError());
    EXPECT_TRUE(lock_.held()) << "another test kept the shared names too long";
}

::testing::AssertionResult StatusBlockDouble::Publish(uint32_t statusWord, uint32_t word0, uint32_t word2) {
    return Publish(StatusSnapshot{word0, statusWord, word2});
}

::testing::AssertionResult StatusBlockDouble::Publish(StatusSnapshot const& words, DWORD mappingSize) {
    ::testing::AssertionResult const mapped = PublishMappingOnly(words, mappingSize);
    if (!mapped) return mapped;
    return PublishMutexOnly();
}

::testing::AssertionResult StatusBlockDouble::PublishReading(uint32_t statusWord, ReadingRecord const& record) {
    ::testing::AssertionResult const mapped = PublishMappingOnly({0, statusWord, 0}, kStatusBlockWithRecordSize);
    if (!mapped) return mapped;
    EncodeReadingRecord(record, static_cast<unsigned char*>(const_cast<void*>(view_.get())) + kReadingRecordOffset);
    return PublishMutexOnly();
}

::testing::AssertionResult StatusBlockDouble::Map(DWORD size) {
    status_block::CreateError const error = status_block::CreateStatusMapping(size, mapping_);
    if (error.failed()) return Failure(error);
    view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view_) return Failure("cannot map the block", ::GetLastError());
    size_ = size;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StatusBlockDouble::PublishMappingOnly(StatusSnapshot const& words, DWORD mappingSize) {
    if (mapping_) return ::testing::AssertionFailure() << "the double already has a mapping";
    ::testing::AssertionResult const mapped = Map(mappingSize);
    if (!mapped) return mapped;
    status_block::StoreWords(view_.get(), size_, words);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StatusBlockDouble::PublishMutexOnly() {
    if (mutex_) return ::testing::AssertionFailure() << "the double already has a mutex";
    status_block::CreateError const error = status_block::CreateStatusMutex(false, mutex_);
    if (error.failed()) return Failure(error);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StatusBlockDouble::SetWords(StatusSnapshot const& words, DWORD timeoutMs) {
    if (!view_) return ::testing::AssertionFailure() << "no mapping to write to";
    if (!mutex_) return SetWordsIgnoringMutex(words);
    DWORD const wait = ::WaitForSingleObject(mutex_.get(), timeoutMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        return ::testing::AssertionFailure() << "the mutex stayed held (wait result " << wait << ")";
    status_block::StoreWords(view_.get(), size_, words);
    ::ReleaseMutex(mutex_.get());
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StatusBlockDouble::SetStatusWord(uint32_t statusWord) {
    return SetWords(StatusSnapshot{0, statusWord, 0});
}

::testing::AssertionResult StatusBlockDouble::SetWordsIgnoringMutex(StatusSnapshot const& words) {
    if (!view_) return ::testing::AssertionFailure() << "no mapping to write to";
    status_block::StoreWords(view_.get(), size_, words);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult StatusBlockDouble::HoldMutexInThread(DWORD ms) { return StartHoldThread(ms, false); }
::testing::AssertionResult StatusBlockDouble::AbandonMutex() { return StartHoldThread(0, true); }

::testing::AssertionResult StatusBlockDouble::StartHoldThread(DWORD ms, bool abandon) {
    if (!mutex_) return ::testing::AssertionFailure() << "no mutex to hold";
    UniqueKernelHandle started(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!started) return Failure("cannot create an event", ::GetLastError());
    DWORD waitResult = WAIT_FAILED;
    holdThreads_.emplace_back(HoldOnThread, mutex_.get(), ms, abandon, started.get(), cancelHolds_.get(),
                              &waitResult);
    ::WaitForSingleObject(started.get(), INFINITE);  // the thread always sets it
    if (abandon) {
        // Abandoned only once the owning thread has really ended.
        holdThreads_.back().join();
        holdThreads_.pop_back();
    }
    if (waitResult != WAIT_OBJECT_0 && waitResult != WAIT_ABANDONED)
        return ::testing::AssertionFailure() << "the holding thread could not take the mutex (wait result "
                                             << waitResult << ")";
    return ::testing::AssertionSuccess();
}

void StatusBlockDouble::EndHolds(bool cutShort) {
    if (cutShort) ::SetEvent(cancelHolds_.get());
    for (std::thread& thread : holdThreads_) thread.join();
    holdThreads_.clear();
    ::ResetEvent(cancelHolds_.get());
}

void StatusBlockDouble::WaitForHolds() { EndHolds(false); }

void StatusBlockDouble::Clear() {
    EndHolds(true);
    view_.reset();
    mapping_.reset();
    mutex_.reset();
    size_ = 0;
}

}  // namespace perimand_test
