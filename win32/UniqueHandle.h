// Move-only owners for Win32 resources. Each kind of resource is a traits
// class naming its type, the value that means "nothing" and how to let go
// of it; the aliases at the bottom are what the rest of the code uses.
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

// OpenMutex, OpenFileMapping, CreateThread...: NULL on failure.
struct Kernel {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

// CreateFile: INVALID_HANDLE_VALUE on failure.
struct File {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

struct MappedView {
    using type = void const*;
    static type invalid() noexcept { return nullptr; }
    static void close(type view) noexcept { ::UnmapViewOfFile(view); }
};

struct Service {
    using type = SC_HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseServiceHandle(h); }
};

struct Menu {
    using type = HMENU;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyMenu(h); }
};

// Memory the system hands out with LocalAlloc (security descriptors, messages).
struct LocalMemory {
    using type = HLOCAL;
    static type invalid() noexcept { return nullptr; }
    static void close(type memory) noexcept { ::LocalFree(memory); }
};

struct RegistryKey {
    using type = HKEY;
    static type invalid() noexcept { return nullptr; }
    static void close(type key) noexcept { ::RegCloseKey(key); }
};

// Not a handle to close but ownership of a mutex to give back: the value is
// the mutex handle, which stays open afterwards.
struct MutexOwnership {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::ReleaseMutex(h); }
};

}  // namespace handle_traits

using UniqueKernelHandle = UniqueHandle<handle_traits::Kernel>;
using UniqueFileHandle = UniqueHandle<handle_traits::File>;
using UniqueMappedView = UniqueHandle<handle_traits::MappedView>;
using UniqueServiceHandle = UniqueHandle<handle_traits::Service>;
using UniqueMenuHandle = UniqueHandle<handle_traits::Menu>;
using UniqueLocalMemory = UniqueHandle<handle_traits::LocalMemory>;
using UniqueRegistryKey = UniqueHandle<handle_traits::RegistryKey>;
using MutexLock = UniqueHandle<handle_traits::MutexOwnership>;
