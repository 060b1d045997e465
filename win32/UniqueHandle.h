// Move-only owners for Win32 resources. Each kind of resource is a traits
// class naming its type, the value that means "nothing" and how to let go
// of it; the aliases at the bottom are what the rest of the code uses. A
// hand-written traits class is for a kind whose invalid value or close is
// unusual (a socket, a handle closed through a seam).
#pragma once

#include <windows.h>
#include <winsvc.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle const&) = delete;
    UniqueHandle& operator=(UniqueHandle const&) = delete;

    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    // Gives up ownership without closing.
    pointer release() noexcept {
        pointer old = value_;
        value_ = Traits::invalid();
        return old;
    }

    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = value_;
        value_ = value;
        if (old != Traits::invalid()) Traits::close(old);
    }

    // For out-parameters: closes what is held and exposes the slot.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

namespace handle_traits {

// A handle of type H that is null when invalid and given back by `Close`:
// most kinds are one line of this.
template <class H, auto Close>
struct NullOrClosedBy {
    using type = H;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { Close(h); }
};

// The calls that fail with INVALID_HANDLE_VALUE rather than NULL
// (CreateFile, FindFirstFile...).
template <auto Close>
struct InvalidOrClosedBy {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { Close(h); }
};

}  // namespace handle_traits

// OpenMutex, OpenFileMapping, CreateThread...: NULL on failure.
using UniqueKernelHandle = UniqueHandle<handle_traits::NullOrClosedBy<HANDLE, &::CloseHandle>>;
using UniqueFileHandle = UniqueHandle<handle_traits::InvalidOrClosedBy<&::CloseHandle>>;
using UniqueFindHandle = UniqueHandle<handle_traits::InvalidOrClosedBy<&::FindClose>>;
using UniqueMappedView = UniqueHandle<handle_traits::NullOrClosedBy<void const*, &::UnmapViewOfFile>>;
using UniqueServiceHandle = UniqueHandle<handle_traits::NullOrClosedBy<SC_HANDLE, &::CloseServiceHandle>>;
using UniqueMenuHandle = UniqueHandle<handle_traits::NullOrClosedBy<HMENU, &::DestroyMenu>>;
// Memory the system hands out with LocalAlloc (security descriptors, messages).
using UniqueLocalMemory = UniqueHandle<handle_traits::NullOrClosedBy<HLOCAL, &::LocalFree>>;
using UniqueRegistryKey = UniqueHandle<handle_traits::NullOrClosedBy<HKEY, &::RegCloseKey>>;
// Not a handle to close but ownership of a mutex to give back: the value is
// the mutex handle, which stays open afterwards.
using MutexLock = UniqueHandle<handle_traits::NullOrClosedBy<HANDLE, &::ReleaseMutex>>;
