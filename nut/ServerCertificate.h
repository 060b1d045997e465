// Whether a TLS server is the one the policy asks for, decided from plain
// facts that the handshake and the system's chain engine gathered
// (CertificateFacts.h), so every outcome can be tested without a server.
// Plain C++ with no system headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nut/TlsPolicy.h"

namespace nut {

enum class TlsVersion { Unknown, Ssl3, Tls10, Tls11, Tls12, Tls13 };

// "TLS 1.2"...; "an unknown protocol" for Unknown.
std::string DescribeTlsVersion(TlsVersion version);

// The chain engine's error bits (CERT_TRUST_STATUS.dwErrorStatus) and the
// SSL policy's errors this decision reads, by value; CertificateFacts.cpp
// checks them against wincrypt.h and winerror.h.
namespace chain_error {
std::uint32_t const kNotTimeValid = 0x00000001;
std::uint32_t const kRevoked = 0x00000004;
std::uint32_t const kNotSignatureValid = 0x00000008;
std::uint32_t const kNotValidForUsage = 0x00000010;
std::uint32_t const kUntrustedRoot = 0x00000020;
std::uint32_t const kRevocationUnknown = 0x00000040;
std::uint32_t const kPartialChain = 0x00010000;
std::uint32_t const kOfflineRevocation = 0x01000000;
}  // namespace chain_error
namespace policy_error {
std::uint32_t const kExpired = 0x800B0101;       // CERT_E_EXPIRED
std::uint32_t const kNameMismatch = 0x800B010F;  // CERT_E_CN_NO_MATCH
std::uint32_t const kWrongUsage = 0x800B0110;    // CERT_E_WRONG_USAGE
}  // namespace policy_error

// What the far side of a completed handshake showed.
struct ServerFacts {
    TlsVersion version = TlsVersion::Unknown;
    std::string subject;  // "CN=localhost"
    Sha256 leafSha256{};  // of the server certificate's DER
    // With TlsCheck::Ca only: the chain the engine built from the server's
    // certificate through the CA and what the server sent with it.
    bool chainBuilt = false;
    std::uint32_t chainErrors = 0;     // chain_error bits
    std::vector<std::uint8_t> rootDer;  // the chain's last certificate
    std::uint32_t policyError = 0;     // the SSL policy's verdict on the name and dates, 0 when fine
};

// The link as the policy judges it: refused below TLS 1.2; then with a CA,
// verified only when the chain ends in exactly the CA's bytes (a root that
// merely shares its name and serial is another CA), is otherwise sound
// (an untrusted root is expected: the CA is ours, not the system's) and
// the SSL policy accepts `expectedName`; with a pin, verified only when
// the server certificate's SHA-256 is the pin; with neither, encrypted
// and not verified. Subject and fingerprint are given whatever the outcome.
LinkState JudgeServer(TlsPolicy const& policy, std::string const& expectedName, ServerFacts const& facts);

}  // namespace nut
