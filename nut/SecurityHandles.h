// Owners for what TLS takes from the system: SSPI credentials and contexts,
// the buffers SSPI allocates, certificate contexts, stores and chains, and
// CNG hash objects. Each is released by its destructor on every path.
#pragma once

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <windows.h>

#include <bcrypt.h>
#include <security.h>
#include <wincrypt.h>

#include <schannel.h>

#include "win32/UniqueHandle.h"

namespace nut {

namespace handle_traits {

// These close with a second argument, so they cannot be one-liners.
struct CertStore {
    using type = HCERTSTORE;
    static type invalid() noexcept { return nullptr; }
    static void close(type store) noexcept { ::CertCloseStore(store, 0); }
};

struct HashAlgorithm {
    using type = BCRYPT_ALG_HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type algorithm) noexcept { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};

// For UniqueSecHandle below.
struct Credentials {
    static void close(SecHandle* handle) noexcept { ::FreeCredentialsHandle(handle); }
};

struct SecurityContext {
    static void close(SecHandle* handle) noexcept { ::DeleteSecurityContext(handle); }
};

}  // namespace handle_traits

using UniqueCertContext = UniqueHandle<::handle_traits::NullOrClosedBy<PCCERT_CONTEXT, &::CertFreeCertificateContext>>;
using UniqueCertStore = UniqueHandle<handle_traits::CertStore>;
using UniqueCertChain = UniqueHandle<::handle_traits::NullOrClosedBy<PCCERT_CHAIN_CONTEXT, &::CertFreeCertificateChain>>;
using UniqueHashAlgorithm = UniqueHandle<handle_traits::HashAlgorithm>;
using UniqueHash = UniqueHandle<::handle_traits::NullOrClosedBy<BCRYPT_HASH_HANDLE, &::BCryptDestroyHash>>;
// What InitializeSecurityContext allocates for its tokens (ISC_REQ_ALLOCATE_MEMORY).
using UniqueContextBuffer = UniqueHandle<::handle_traits::NullOrClosedBy<void*, &::FreeContextBuffer>>;

// CredHandle and CtxtHandle are two-word values, not pointers, that SSPI
// marks invalid with all bits set: UniqueHandle cannot hold them.
template <typename Traits>
class UniqueSecHandle {
public:
    UniqueSecHandle() noexcept { Invalidate(); }
    ~UniqueSecHandle() { reset(); }

    UniqueSecHandle(UniqueSecHandle const&) = delete;
    UniqueSecHandle& operator=(UniqueSecHandle const&) = delete;

    explicit operator bool() const noexcept { return SecIsValidHandle(&value_); }
    // SSPI takes its handles by non-const pointer, also to read them.
    SecHandle* get() noexcept { return &value_; }

    void reset() noexcept {
        if (*this) Traits::close(&value_);
        Invalidate();
    }
    // Takes a handle SSPI filled in elsewhere.
    void reset(SecHandle const& value) noexcept {
        reset();
        value_ = value;
    }

private:
    void Invalidate() noexcept { SecInvalidateHandle(&value_); }

    SecHandle value_;
};

using UniqueCredentials = UniqueSecHandle<handle_traits::Credentials>;
using UniqueSecurityContext = UniqueSecHandle<handle_traits::SecurityContext>;

}  // namespace nut
