// The client side of one TLS link on SChannel, over a byte stream the caller
// provides (the session's socket with its deadline and stop event). It
// validates nothing itself: the credentials ask for manual validation, and
// the caller judges the certificate it hands out. Not thread-safe.
#pragma once

#include <cstddef>
#include <string>

#include "nut/SecurityHandles.h"
#include "nut/ServerCertificate.h"

namespace nut {

class TlsChannel {
public:
    // Raw bytes on the wire. Each call is bounded as the caller's waits are,
    // and returns empty on success, else why not ("no answer"...).
    class Transport {
    public:
        virtual std::string Send(std::string const& bytes) = 0;
        // Appends at least one and at most `most` bytes to `into`.
        virtual std::string Receive(std::string& into, std::size_t most) = 0;

    protected:
        ~Transport() = default;
    };

    TlsChannel() = default;
    TlsChannel(TlsChannel const&) = delete;
    TlsChannel& operator=(TlsChannel const&) = delete;

    // The handshake as a client asking for TLS 1.2, with `serverName` as the
    // server name it sends. Empty on success, else why not.
    std::string Handshake(std::wstring const& serverName, Transport& transport);

    // After Handshake.
    TlsVersion Version();
    std::string RemoteCertificate(UniqueCertContext& certificate);

    std::string Send(std::string const& plain, Transport& transport);
    // Appends at least one byte of what the server said to `plain`.
    std::string Receive(std::string& plain, Transport& transport);

    // `last` sealed, then the close_notify alert: the bytes that end the
    // link, for the caller to send once without waiting. Whatever cannot
    // be made is left out.
    std::string Farewell(std::string const& last);

private:
    std::string Acquire();
    // One round of the handshake; `done` once the context is complete.
    std::string HandshakeStep(Transport& transport, bool& done);
    std::string Seal(std::string const& plain, std::string& record);
    // DecryptMessage over what has arrived; `opened` false when a record is
    // still incomplete.
    std::string Open(std::string& plain, bool& opened);
    std::string CloseNotify();

    UniqueCredentials credentials_;
    UniqueSecurityContext context_;
    std::wstring serverName_;
    SecPkgContext_StreamSizes sizes_{};
    std::string incoming_;  // received, not yet taken by SChannel
    bool askedForClientCertificate_ = false;
};

}  // namespace nut
