// What a person gives the TLS policy (a CA as PEM, a fingerprint as hex),
// and what the server's answer to STARTTLS leads to. No Windows headers:
// the same file runs under Wine and natively (tests/native).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "nut/TlsPolicy.h"

namespace {

using namespace nut;

// SEQUENCE { INTEGER 5 }: as much DER as the parser itself judges.
std::vector<std::uint8_t> const kTinyDer = {0x30, 0x03, 0x02, 0x01, 0x05};

std::string Pem(std::string const& body, std::string const& label = "CERTIFICATE") {
    return "-----BEGIN " + label + "-----\n" + body + "\n-----END " + label + "-----\n";
}

TEST(CertificatePem, TheCertificateIsReadWhateverSurroundsIt) {
    std::vector<std::uint8_t> der;
    // openssl puts text before it; files edited on Windows have CRLF.
    ASSERT_EQ("", ParseCertificatePem("subject=CN=Test CA\r\n-----BEGIN CERTIFICATE-----\r\nMAMC\r\nAQU=\r\n"
                                      "-----END CERTIFICATE-----\r\n",
                                      der));
    EXPECT_EQ(der, kTinyDer);

    // A length in long form, as every real certificate has.
    std::vector<std::uint8_t> longForm = {0x30, 0x81, 0x81, 0x04, 0x7f};
    longForm.resize(3 + 0x81, 0xab);
    // 132 bytes: 44 groups of 4 digits, the last "q6ur" (0xab 0xab 0xab).
    std::string body = "MIGBBH+r";
    for (int group = 2; group < 44; ++group) body += "q6ur";
    ASSERT_EQ("", ParseCertificatePem(Pem(body), der));
    EXPECT_EQ(der, longForm);

    // What is stored is written back as PEM: each padding, and lines of 64.
    std::vector<std::uint8_t> const nullInside = {0x30, 0x02, 0x05, 0x00};
    for (std::vector<std::uint8_t> const& original : {kTinyDer, nullInside, longForm}) {
        std::vector<std::uint8_t> again;
        ASSERT_EQ("", ParseCertificatePem(FormatCertificatePem(original), again));
        EXPECT_EQ(again, original);
    }
    EXPECT_EQ(FormatCertificatePem(kTinyDer), Pem("MAMCAQU="));
    EXPECT_EQ(FormatCertificatePem(longForm).find('\n', 28), 28u + 64);
}

TEST(CertificatePem, WhatIsNotOneCertificateIsRefusedAndSaysWhy) {
    std::vector<std::pair<std::string, std::string>> const cases = {
        {"", "not a PEM certificate (no -----BEGIN line)"},
        {std::string(reinterpret_cast<char const*>(kTinyDer.data()), kTinyDer.size()),
         "not a PEM certificate (no -----BEGIN line)"},  // DER, not PEM
        {Pem("MAMCAQU=", "PRIVATE KEY"), "the PEM holds a PRIVATE KEY, not a certificate"},
        {Pem("MAMCAQU=", "CERTIFICATE REQUEST"), "the PEM holds a CERTIFICATE REQUEST, not a certificate"},
        {"-----BEGIN CERTIFICATE-----\nMAMCAQU=\n", "the certificate's -----END line is missing"},
        {Pem("MAMCAQU=") + Pem("MAMCAQU="), "the PEM holds more than one certificate"},
        {Pem("MAMC*QU="), "the certificate's base64 is damaged"},
        {Pem("MAMCAQU"), "the certificate's base64 is damaged"},   // a group cut short
        {Pem("MAMCAQV="), "the certificate's base64 is damaged"},  // padding bits set: another text, same bytes
        {Pem("MA=CAQU="), "the certificate's base64 is damaged"},
        {Pem(""), "the certificate is empty"},
        {Pem("MAQCAQU="), "the certificate is not DER"},  // says 4 bytes, holds 3
        {Pem("MQMCAQU="), "the certificate is not DER"},  // a SET
    };
    for (auto const& [pem, why] : cases) {
        std::vector<std::uint8_t> der = {1, 2, 3};
        EXPECT_EQ(why, ParseCertificatePem(pem, der)) << pem;
        EXPECT_EQ(der, (std::vector<std::uint8_t>{1, 2, 3})) << "written on failure: " << pem;
    }
}

TEST(Sha256Pin, EverySpellingOfOneDigestReadsTheSame) {
    std::string const sha256sum = "379a81f8fce38f43d27c5ec0efec80a1bad6720e3894441ed727da2b54ca1b0c";
    Sha256 bare{};
    ASSERT_EQ("", ParseSha256Pin(sha256sum, bare));
    EXPECT_EQ(bare[0], 0x37);
    EXPECT_EQ(bare[31], 0x0c);
    EXPECT_EQ(FormatFingerprint(bare), sha256sum);

    std::string paired;
    for (std::size_t at = 0; at < sha256sum.size(); at += 2) paired += (at ? ":" : "") + sha256sum.substr(at, 2);
    for (char& c : paired) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::string const& spelling : {paired, " " + sha256sum + "\r\n"}) {
        Sha256 pin{};
        EXPECT_EQ("", ParseSha256Pin(spelling, pin)) << spelling;
        EXPECT_EQ(pin, bare) << spelling;
    }
}

TEST(Sha256Pin, AnythingButSha256IsRefused) {
    std::string const digits(64, 'a');
    std::string paired = "aa";
    for (int i = 1; i < 32; ++i) paired += ":aa";
    for (std::string const& text :
         {std::string(), digits.substr(1), digits + "a", std::string(40, 'a') /* SHA-1 */, "g" + digits.substr(1),
          digits.substr(0, 32) + " " + digits.substr(33), paired.substr(0, 5) + "a" + paired.substr(6)}) {
        Sha256 pin{};
        pin[0] = 7;
        EXPECT_EQ("the fingerprint must be 64 hex digits (SHA-256)", ParseSha256Pin(text, pin)) << text;
        EXPECT_EQ(pin[0], 7) << "written on failure: " << text;
    }
}

TEST(StartTlsAnswer, OnlyTryGoesOnInClearAndOnlyWhenTheServerHasNoTls) {
    for (TlsMode mode : {TlsMode::Try, TlsMode::Require}) {
        bool const tryMode = mode == TlsMode::Try;
        EXPECT_EQ(DecideStartTls(mode, "OK STARTTLS").step, StartTlsStep::Handshake);
        for (char const* notOffered : {"ERR FEATURE-NOT-CONFIGURED", "ERR FEATURE-NOT-SUPPORTED"}) {
            StartTlsDecision const decision = DecideStartTls(mode, notOffered);
            EXPECT_EQ(decision.step, tryMode ? StartTlsStep::InClear : StartTlsStep::Fail) << notOffered;
            EXPECT_EQ(decision.failure, tryMode ? "" : "the server does not offer TLS") << notOffered;
        }
        // A server that says something else cannot be trusted to be in step.
        EXPECT_EQ(DecideStartTls(mode, "ERR ALREADY-SSL-MODE").failure,
                  "STARTTLS refused: server error ALREADY-SSL-MODE");
        for (char const* other : {"", "OK", "OK STARTTLS please", "ok starttls", "VAR testups ups.status \"OL\""}) {
            StartTlsDecision const decision = DecideStartTls(mode, other);
            EXPECT_EQ(decision.step, StartTlsStep::Fail) << other;
            EXPECT_EQ(decision.failure, "unexpected answer to STARTTLS") << other;
        }
    }
}

}  // namespace
