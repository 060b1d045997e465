// The judgement of a TLS server from the facts its handshake and the chain
// engine gave. No Windows headers: the same file runs under Wine and
// natively (tests/native).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "nut/ServerCertificate.h"

namespace {

using namespace nut;

std::vector<std::uint8_t> const kCaDer = {0x30, 0x03, 0x02, 0x01, 0x05};

Sha256 Digest(std::uint8_t first) {
    Sha256 digest{};
    digest[0] = first;
    return digest;
}

// A server of our CA over TLS 1.2, whose chain the engine found sound
// but for a root the system does not know.
ServerFacts OurServer() {
    ServerFacts facts;
    facts.version = TlsVersion::Tls12;
    facts.subject = "CN=localhost";
    facts.leafSha256 = Digest(0xab);
    facts.chainBuilt = true;
    facts.chainErrors = chain_error::kUntrustedRoot;
    facts.rootDer = kCaDer;
    return facts;
}

TlsPolicy Policy(TlsCheck check) {
    TlsPolicy policy;
    policy.mode = TlsMode::Require;
    policy.check = check;
    policy.caDer = kCaDer;
    policy.pin = Digest(0xab);
    return policy;
}

// What the real upsd cannot show: the accepted and refused links themselves
// are checked against it (tests/integration/nut).
TEST(ServerJudgement, UnaskedRevocationAndANewerProtocolStillVerify) {
    ServerFacts unasked = OurServer();
    unasked.chainErrors |= chain_error::kRevocationUnknown | chain_error::kOfflineRevocation;
    EXPECT_TRUE(JudgeServer(Policy(TlsCheck::Ca), "localhost", unasked).verified) << "revocation is not asked";
    unasked.version = TlsVersion::Tls13;
    EXPECT_TRUE(JudgeServer(Policy(TlsCheck::Ca), "localhost", unasked).verified);
}

TEST(ServerJudgement, OnlyTheCaItselfIsTheCa) {
    std::vector<ServerFacts> others(5, OurServer());
    others[0].rootDer.back() ^= 1;  // same name and serial, other bytes: a forger's CA
    others[1].rootDer.clear();
    others[2].chainBuilt = false;
    others[3].chainErrors |= chain_error::kNotSignatureValid;  // named as issued by the CA, not signed by it
    others[4].chainErrors |= chain_error::kPartialChain;
    for (ServerFacts const& facts : others) {
        LinkState const link = JudgeServer(Policy(TlsCheck::Ca), "localhost", facts);
        EXPECT_EQ(link.refusal, "certificate from another CA");
        EXPECT_FALSE(link.verified);
    }
}

TEST(ServerJudgement, TheCasCertificateMustAlsoFitTheNameDatesAndUse) {
    struct Case {
        std::uint32_t chainErrors;
        std::uint32_t policyError;
        char const* refusal;
    };
    Case const cases[] = {
        {0, policy_error::kNameMismatch, "certificate name does not match upsd.lan"},
        {0, policy_error::kExpired, "certificate expired or not yet valid"},
        {chain_error::kNotTimeValid, 0, "certificate expired or not yet valid"},
        {chain_error::kNotValidForUsage, 0, "certificate not made for a server"},
        {chain_error::kRevoked, 0, "certificate revoked"},
        {0x00000100, 0, "certificate chain refused (0x00000100)"},
        {0, 0x800B010A, "certificate refused (0x800B010A)"},
    };
    for (Case const& c : cases) {
        ServerFacts facts = OurServer();
        facts.chainErrors |= c.chainErrors;
        facts.policyError = c.policyError;
        EXPECT_EQ(JudgeServer(Policy(TlsCheck::Ca), "upsd.lan", facts).refusal, c.refusal);
    }
}

TEST(ServerJudgement, BelowTls12NothingPasses) {
    for (TlsVersion version : {TlsVersion::Tls11, TlsVersion::Tls10, TlsVersion::Ssl3, TlsVersion::Unknown}) {
        ServerFacts facts = OurServer();
        facts.version = version;
        for (TlsCheck check : {TlsCheck::Ca, TlsCheck::Pin, TlsCheck::None}) {
            LinkState const link = JudgeServer(Policy(check), "localhost", facts);
            EXPECT_EQ(link.refusal, "TLS below 1.2") << link.protocol;
            EXPECT_FALSE(link.encrypted) << link.protocol;
        }
    }
    ServerFacts old = OurServer();
    old.version = TlsVersion::Tls10;
    EXPECT_EQ(JudgeServer(Policy(TlsCheck::None), "localhost", old).protocol, "TLS 1.0");
}

}  // namespace
