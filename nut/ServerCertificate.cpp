#include "nut/ServerCertificate.h"

#include <cstdio>

namespace nut {

namespace {

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// The engine reports these without anything being wrong with the chain:
// the root is ours rather than the system's, and revocation is not asked.
std::uint32_t const kExpectedChainErrors =
    chain_error::kUntrustedRoot | chain_error::kRevocationUnknown | chain_error::kOfflineRevocation;

std::string ChainRefusal(std::uint32_t errors) {
    errors &= ~kExpectedChainErrors;
    if (errors == 0) return std::string();
    // A signature that does not verify, or a chain that stops short, means
    // the CA did not issue it, whatever the names say.
    if (errors & (chain_error::kNotSignatureValid | chain_error::kPartialChain)) return "certificate from another CA";
    if (errors & chain_error::kNotTimeValid) return "certificate expired or not yet valid";
    if (errors & chain_error::kRevoked) return "certificate revoked";
    if (errors & chain_error::kNotValidForUsage) return "certificate not made for a server";
    return "certificate chain refused (" + Hex32(errors) + ")";
}

std::string PolicyRefusal(std::uint32_t error, std::string const& expectedName) {
    switch (error) {
    case 0: return std::string();
    case policy_error::kNameMismatch: return "certificate name does not match " + expectedName;
    case policy_error::kExpired: return "certificate expired or not yet valid";
    case policy_error::kWrongUsage: return "certificate not made for a server";
    default: return "certificate refused (" + Hex32(error) + ")";
    }
}

std::string CaRefusal(TlsPolicy const& policy, std::string const& expectedName, ServerFacts const& facts) {
    // Bytes, not issuer and serial: a forger can copy those.
    if (!facts.chainBuilt || facts.rootDer != policy.caDer) return "certificate from another CA";
    std::string const refusal = ChainRefusal(facts.chainErrors);
    return refusal.empty() ? PolicyRefusal(facts.policyError, expectedName) : refusal;
}

}  // namespace

std::string DescribeTlsVersion(TlsVersion version) {
    switch (version) {
    case TlsVersion::Ssl3: return "SSL 3.0";
    case TlsVersion::Tls10: return "TLS 1.0";
    case TlsVersion::Tls11: return "TLS 1.1";
    case TlsVersion::Tls12: return "TLS 1.2";
    case TlsVersion::Tls13: return "TLS 1.3";
    case TlsVersion::Unknown: break;
    }
    return "an unknown protocol";
}

LinkState JudgeServer(TlsPolicy const& policy, std::string const& expectedName, ServerFacts const& facts) {
    LinkState link;
    link.protocol = DescribeTlsVersion(facts.version);
    link.subject = facts.subject;
    link.fingerprint = FormatFingerprint(facts.leafSha256);

    if (facts.version != TlsVersion::Tls12 && facts.version != TlsVersion::Tls13) {
        link.refusal = "TLS below 1.2";
    } else if (policy.check == TlsCheck::Pin) {
        if (facts.leafSha256 != policy.pin) link.refusal = "fingerprint does not match";
    } else if (policy.check == TlsCheck::Ca) {
        link.refusal = CaRefusal(policy, expectedName, facts);
    }
    link.encrypted = link.refusal.empty();
    link.verified = link.encrypted && policy.check != TlsCheck::None;
    return link;
}

}  // namespace nut
