// The publishing side of the shared status block: a named file mapping of
// three little-endian 32-bit words and the named mutex that guards it. The
// agent opens both by name every second and only reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "contract/StatusBlock.h"
#include "contract/StatusRecord.h"
#include "win32/UniqueHandle.h"

namespace status_block {

// Why creating one of the two objects failed, with the object's name so a
// tool can tell the user which one is in the way.
struct CreateError {
    DWORD code = ERROR_SUCCESS;
    char const* objectName = nullptr;

    bool failed() const { return code != ERROR_SUCCESS; }
    std::string Describe() const;
};

// Each creates its object with an explicit security descriptor: SYSTEM and
// administrators get full access; interactive users may open the mapping for
// reading and the mutex with full access, which is what the agent asks for,
// and nobody else gets anything. A name that is already taken is ERROR_ALREADY_EXISTS and
// leaves `out` empty: a publisher never shares a block it did not create.
CreateError CreateStatusMapping(DWORD size, UniqueKernelHandle& out);
CreateError CreateStatusMutex(bool initiallyOwned, UniqueKernelHandle& out);

// Stores as many of the three words as fit into `size` bytes at `view`.
void StoreWords(void const* view, DWORD size, StatusSnapshot const& words);

class StatusPublisher {
public:
    struct Options {
        StatusSnapshot initial;
        DWORD mappingSize = kStatusBlockSize;
        // The block appears with its mutex already held by the creating
        // thread, until ReleaseHold().
        bool holdMutex = false;
    };

    StatusPublisher() = default;
    ~StatusPublisher() { Close(); }
    StatusPublisher(StatusPublisher const&) = delete;
    StatusPublisher& operator=(StatusPublisher const&) = delete;

    // Creates the mapping, stores the initial words, then creates the mutex:
    // a reader can only lock the block once it holds real words. On failure
    // nothing stays open.
    CreateError Create(Options const& options);

    // Creates the mapping alone, so the names are ours from now on while a
    // reader still finds no block (it needs the mutex too). The first Write
    // stores its words and then creates the mutex.
    CreateError Reserve(DWORD mappingSize = kStatusBlockSize);

    bool IsOpen() const { return static_cast<bool>(mutex_); }

    // Takes the mutex (an abandoned one counts as taken), stores the words
    // and releases it; after Reserve, stores them and creates the mutex.
    // False when the words did not reach the block: the mutex could not be
    // had in time, or could not be created.
    bool Write(StatusSnapshot const& words, DWORD timeoutMs) { return Write(words, nullptr, timeoutMs); }
    // The same, and the reading's record after the words, in the same hold
    // of the mutex, when the mapping has room for it.
    bool Write(StatusSnapshot const& words, ReadingRecord const* record, DWORD timeoutMs);

    // Ends the hold begun by Options::holdMutex. Call on the creating thread.
    void ReleaseHold();

    // Releases any hold and closes both objects; readers then find no block.
    void Close();

    HANDLE mutex() const { return mutex_.get(); }
    HANDLE mapping() const { return mapping_.get(); }

private:
    // Stores `first` in the reserved mapping, then creates the mutex.
    CreateError Open(StatusSnapshot const& first, bool holdMutex);
    void Store(StatusSnapshot const& words, ReadingRecord const* record);

    UniqueKernelHandle mapping_;
    UniqueMappedView view_;
    UniqueKernelHandle mutex_;
    DWORD size_ = 0;
    bool holding_ = false;
};

}  // namespace status_block
