// A stand-in for the monitoring side of the status block, for tests of
// whatever reads it. It can put the block into every state a reader must
// cope with: absent, half there, any words, a lock held by someone else for
// a while, a lock abandoned by a writer that died holding it. Holding
// threads are joined (or cut short) when it is cleared or destroyed. While
// it lives it holds the SharedNamesLock, so tests in other processes that use
// the same names wait their turn.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "contract/StatusPublisher.h"
#include "contract/StatusRecord.h"
#include "tests/doubles/status/SharedNamesLock.h"
#include "win32/UniqueHandle.h"

namespace perimand_test {


// What the agent's own read finds (common/StatusBlockReader).
struct AgentRead {
    bool found = false;   // both the mapping and the mutex could be opened
    bool copied = false;  // the words below are valid
    StatusSnapshot words;
};
AgentRead ReadLikeAgent();

class StatusBlockDouble {
public:
    StatusBlockDouble();
    ~StatusBlockDouble() { Clear(); }
    StatusBlockDouble(StatusBlockDouble const&) = delete;
    StatusBlockDouble& operator=(StatusBlockDouble const&) = delete;

    // Mapping and mutex, words in place. `mappingSize` below 12 keeps only
    // the words that fit.
    ::testing::AssertionResult Publish(uint32_t statusWord, uint32_t word0 = 0, uint32_t word2 = 0);
    ::testing::AssertionResult Publish(StatusSnapshot const& words, DWORD mappingSize = kStatusBlockSize);
    ::testing::AssertionResult PublishMappingOnly(StatusSnapshot const& words = {},
                                                  DWORD mappingSize = kStatusBlockSize);
    ::testing::AssertionResult PublishMutexOnly();
    // The block as the service writes it: the words, then `record`.
    ::testing::AssertionResult PublishReading(uint32_t statusWord, ReadingRecord const& record);

    // New words, written under the mutex like the service does (or straight
    // into the view when there is no mutex). Waits at most `timeoutMs`.
    ::testing::AssertionResult SetWords(StatusSnapshot const& words, DWORD timeoutMs = 5000);
    ::testing::AssertionResult SetStatusWord(uint32_t statusWord);
    // Writes past the lock: how a test changes the block while somebody
    // else holds the mutex, to see that a reader does not pick it up.
    ::testing::AssertionResult SetWordsIgnoringMutex(StatusSnapshot const& words);

    // Another thread of this process takes the mutex and keeps it for `ms`.
    // Returns once the hold has begun.
    ::testing::AssertionResult HoldMutexInThread(DWORD ms);
    // Another thread takes the mutex and ends without releasing it. The next
    // wait on the mutex, in any process, returns WAIT_ABANDONED.
    ::testing::AssertionResult AbandonMutex();

    // Waits for every hold to end by itself.
    void WaitForHolds();

    // Cuts holds short, then closes everything: the block is absent again.
    void Clear();

private:
    ::testing::AssertionResult StartHoldThread(DWORD ms, bool abandon);
    void EndHolds(bool cutShort);
    ::testing::AssertionResult Map(DWORD size);

    SharedNamesLock lock_;
    UniqueKernelHandle mapping_;
    UniqueMappedView view_;
    DWORD size_ = 0;
    UniqueKernelHandle mutex_;
    UniqueKernelHandle cancelHolds_;  // manual reset: cuts holds short
    std::vector<std::thread> holdThreads_;
};

}  // namespace perimand_test
