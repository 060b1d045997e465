#include "contract/StatusPublisher.h"

#include <sddl.h>

#include <cstring>
#include <utility>

#include "win32/Win32Error.h"

namespace status_block {
namespace {


// SY = LocalSystem, BA = administrators, LS = LocalService (the account the
// service runs as), IU = interactive users (the agent runs in a desktop
// session, remote ones included). GR on a section is
// SECTION_MAP_READ | SECTION_QUERY. Only the agent's user may hold the
// mutex: a logon that can take it can starve the service's writes.
char const kMappingSddl[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;LS)(A;;GR;;;IU)";
char const kMutexSddl[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;LS)(A;;GA;;;IU)";

// A security descriptor built from SDDL, freed with the object.
class SddlAttributes {
public:
    explicit SddlAttributes(char const* sddl) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                                   nullptr)) {
            memory_.reset(descriptor);
            attributes_.lpSecurityDescriptor = descriptor;
        } else {
            error_ = ::GetLastError();
        }
    }
    DWORD error() const { return error_; }
    SECURITY_ATTRIBUTES* get() { return &attributes_; }

private:
    UniqueLocalMemory memory_;
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    DWORD error_ = ERROR_SUCCESS;
};

// Create* hands back the existing object when the name is taken; we want none of it.
CreateError Finish(HANDLE created, char const* name, UniqueKernelHandle& out) {
    DWORD const error = ::GetLastError();
    UniqueKernelHandle handle(created);
    if (!handle) return {error, name};
    if (error == ERROR_ALREADY_EXISTS) return {ERROR_ALREADY_EXISTS, name};
    out = std::move(handle);
    return {};
}

}  // namespace

std::string CreateError::Describe() const {
    std::string const name = std::string("\"") + (objectName ? objectName : "?") + "\"";
    if (code == ERROR_ALREADY_EXISTS)
        return name + " is already taken (is another publisher or the service running?)";
    return "cannot create " + name + ": " + win32::DescribeWin32Error(code);
}

CreateError CreateStatusMapping(DWORD size, UniqueKernelHandle& out) {
    SddlAttributes security(kMappingSddl);
    if (security.error() != ERROR_SUCCESS) return {security.error(), kStatusMappingName};
    HANDLE const created = ::CreateFileMappingA(INVALID_HANDLE_VALUE, security.get(), PAGE_READWRITE, 0,
                                                size, kStatusMappingName);
    return Finish(created, kStatusMappingName, out);
}

CreateError CreateStatusMutex(bool initiallyOwned, UniqueKernelHandle& out) {
    SddlAttributes security(kMutexSddl);
    if (security.error() != ERROR_SUCCESS) return {security.error(), kStatusMutexName};
    HANDLE const created = ::CreateMutexA(security.get(), initiallyOwned ? TRUE : FALSE, kStatusMutexName);
    // An existing mutex is not owned by us even if we asked; Finish drops it.
    return Finish(created, kStatusMutexName, out);
}

void StoreWords(void const* view, DWORD size, StatusSnapshot const& words) {
    uint32_t const values[] = {words.word0, words.statusWord, words.word2};
    unsigned char bytes[sizeof values];
    for (size_t i = 0; i < 3; ++i) {
        // Little-endian whatever the host, byte by byte.
        for (size_t b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<unsigned char>(values[i] >> (8 * b));
    }
    // The view was mapped for writing; UniqueMappedView only holds it as const.
    std::memcpy(const_cast<void*>(view), bytes, size < sizeof bytes ? size : sizeof bytes);
}

CreateError StatusPublisher::Create(Options const& options) {
    CreateError error = Reserve(options.mappingSize);
    if (!error.failed()) error = Open(options.initial, options.holdMutex);
    if (error.failed()) Close();
    return error;
}

CreateError StatusPublisher::Reserve(DWORD mappingSize) {
    Close();
    UniqueKernelHandle mapping;
    CreateError const error = CreateStatusMapping(mappingSize, mapping);
    if (error.failed()) return error;
    UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view) return {::GetLastError(), kStatusMappingName};
    mapping_ = std::move(mapping);
    view_ = std::move(view);
    size_ = mappingSize;
    return {};
}

CreateError StatusPublisher::Open(StatusSnapshot const& first, bool holdMutex) {
    StoreWords(view_.get(), size_, first);
    UniqueKernelHandle mutex;
    CreateError const error = CreateStatusMutex(holdMutex, mutex);
    if (error.failed()) return error;
    mutex_ = std::move(mutex);
    holding_ = holdMutex;
    return {};
}

void StatusPublisher::Store(StatusSnapshot const& words, ReadingRecord const* record) {
    StoreWords(view_.get(), size_, words);
    if (record == nullptr || size_ < kStatusBlockWithRecordSize) return;
    // The view was mapped for writing; UniqueMappedView only holds it as const.
    unsigned char* const block = static_cast<unsigned char*>(const_cast<void*>(view_.get()));
    EncodeReadingRecord(*record, block + kReadingRecordOffset);
}

bool StatusPublisher::Write(StatusSnapshot const& words, ReadingRecord const* record, DWORD timeoutMs) {
    if (!view_) return false;
    if (!mutex_) {
        // No reader can lock the block before the mutex exists.
        Store(words, record);
        return !Open(words, false).failed();
    }
    DWORD const wait = ::WaitForSingleObject(mutex_.get(), timeoutMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
    MutexLock const lock(mutex_.get());
    Store(words, record);
    return true;
}

void StatusPublisher::ReleaseHold() {
    if (holding_ && mutex_) ::ReleaseMutex(mutex_.get());
    holding_ = false;
}

void StatusPublisher::Close() {
    ReleaseHold();
    view_.reset();
    mapping_.reset();
    mutex_.reset();
    size_ = 0;
}

}  // namespace status_block
