// Turns a fresh connection to upsd into a TLS link as a policy asks:
// STARTTLS, the handshake on the same socket, then the protocol and the
// certificate judged before any request of the caller's goes out.
#pragma once

#include <memory>
#include <string>

#include "nut/TlsChannel.h"
#include "nut/TlsPolicy.h"

namespace nut {

// For a policy of mode Try or Require, on a connection nothing has been
// sent on yet. `host` is the address's, the name the certificate must carry
// unless the policy names another. Empty on success, with `channel` holding
// the link, or left empty when Try found no TLS on offer; otherwise why not
// (the refusal itself when the certificate was refused), and the caller
// must drop the connection without another word. A policy with a check
// takes no server in clear, whatever its mode. `link` says how it went in
// every case that reached a certificate, and its refusal why a server that
// answered was not taken (no TLS on offer, a failed handshake, a refused
// certificate).
std::string StartTls(TlsChannel::Transport& raw, std::string const& host, TlsPolicy const& policy,
                     std::unique_ptr<TlsChannel>& channel, LinkState& link);

}  // namespace nut
