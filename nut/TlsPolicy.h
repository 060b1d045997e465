// What the NUT client asks of its link to upsd (TLS through STARTTLS, and how
// to know the server's certificate), how the link came out, and the parsers
// for what a person gives: a CA certificate as PEM, a fingerprint as hex.
// Plain C++ with no system headers, so it also builds and is fuzzed on the
// host.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace nut {

// Off: never asks (the connection is as it always was). Try: TLS when the
// server offers it, else in clear. Require: TLS, or no connection at all.
enum class TlsMode { Off, Try, Require };

// What makes the server's certificate the right one: nothing (encrypted but
// anyone's), issued by one CA, or exactly one certificate.
enum class TlsCheck { None, Ca, Pin };

using Sha256 = std::array<std::uint8_t, 32>;

struct TlsPolicy {
    TlsMode mode = TlsMode::Off;
    TlsCheck check = TlsCheck::None;
    std::vector<std::uint8_t> caDer;  // TlsCheck::Ca: the CA's certificate (ParseCertificatePem)
    Sha256 pin{};                     // TlsCheck::Pin: SHA-256 of the server certificate's DER
    std::string serverName;           // the name the certificate must carry; empty: the address's host
};

bool operator==(TlsPolicy const& a, TlsPolicy const& b);
inline bool operator!=(TlsPolicy const& a, TlsPolicy const& b) { return !(a == b); }

// How a connection's link came out. A refused one still names the
// certificate, so a person can decide to trust it.
struct LinkState {
    bool encrypted = false;   // requests went over TLS
    std::string protocol;     // "TLS 1.2", once a handshake completed
    bool verified = false;    // the certificate passed the policy's check
    std::string subject;      // the server certificate's, "CN=localhost"
    std::string fingerprint;  // SHA-256 of its DER, 64 lower-case hex digits
    std::string refusal;      // why the link was refused ("fingerprint does not match"), else empty
};

// The one certificate of a PEM text ("-----BEGIN CERTIFICATE-----", base64,
// "-----END CERTIFICATE-----"; text around it is ignored). Empty on success,
// else one line saying what is wrong ("the PEM holds a PRIVATE KEY, not a
// certificate"...); `der` is written only on success.
std::string ParseCertificatePem(std::string const& pem, std::vector<std::uint8_t>& der);

// The PEM text of a DER certificate, 64 base64 digits a line, as
// ParseCertificatePem reads it back.
std::string FormatCertificatePem(std::vector<std::uint8_t> const& der);

// A SHA-256 fingerprint: 64 hex digits in either case, bare or in pairs
// separated by ':', blanks around it allowed. Empty on success, else why not.
std::string ParseSha256Pin(std::string const& text, Sha256& pin);

// 64 lower-case hex digits, as sha256sum prints them and ParseSha256Pin reads.
std::string FormatFingerprint(Sha256 const& digest);

// What to do with the server's answer to STARTTLS under mode Try or
// Require: "OK STARTTLS" starts the handshake; a server without TLS
// (FEATURE-NOT-CONFIGURED, FEATURE-NOT-SUPPORTED) is read in clear under
// Try and refused under Require; anything else is a failure.
enum class StartTlsStep { Handshake, InClear, Fail };
struct StartTlsDecision {
    StartTlsStep step = StartTlsStep::Fail;
    std::string failure;  // StartTlsStep::Fail: why, for people
};
StartTlsDecision DecideStartTls(TlsMode mode, std::string const& reply);

}  // namespace nut
