#include "nut/TlsPolicy.h"

#include <cstddef>

#include "nut/NutProtocol.h"

namespace nut {

namespace {

char const kBegin[] = "-----BEGIN ";
char const kDashes[] = "-----";
char const kEndCertificate[] = "-----END CERTIFICATE-----";
std::size_t const kSha256Bytes = 32;

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Strict base64 (line breaks and blanks between groups allowed): a damaged
// file must not decode to something else.
bool DecodeBase64(std::string const& text, std::vector<std::uint8_t>& out) {
    std::string digits;
    for (char c : text) {
        if (!IsBlank(c)) digits += c;
    }
    if (digits.size() % 4 != 0) return false;
    std::size_t padding = 0;
    while (padding < 2 && padding < digits.size() && digits[digits.size() - 1 - padding] == '=') ++padding;
    std::uint32_t bits = 0;
    int held = 0;
    for (std::size_t i = 0; i + padding < digits.size(); ++i) {
        int const value = Base64Value(digits[i]);
        if (value < 0) return false;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> held));
        }
    }
    // Bits left over by the padding must be zero, or two texts mean one DER.
    return (bits & ((1u << held) - 1)) == 0;
}

// A DER certificate is one SEQUENCE whose definite length covers exactly
// the bytes; the system's parser judges the rest.
bool IsOneDerSequence(std::vector<std::uint8_t> const& der) {
    if (der.size() < 2 || der[0] != 0x30) return false;
    std::size_t length = der[1];
    std::size_t header = 2;
    if (length & 0x80) {
        std::size_t const lengthBytes = length & 0x7f;
        if (lengthBytes == 0 || lengthBytes > 4 || der.size() < 2 + lengthBytes) return false;
        length = 0;
        for (std::size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | der[2 + i];
        header += lengthBytes;
    }
    return der.size() - header == length;
}

char const kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string EncodeBase64(std::vector<std::uint8_t> const& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::size_t const count = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) group = (group << 8) | (j < count ? bytes[i + j] : 0u);
        for (std::size_t j = 0; j < 4; ++j)
            text += j <= count ? kBase64Digits[(group >> (18 - 6 * j)) & 0x3f] : '=';
    }
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Trimmed(std::string const& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

}  // namespace

std::string ParseCertificatePem(std::string const& pem, std::vector<std::uint8_t>& der) {
    std::size_t const begin = pem.find(kBegin);
    if (begin == std::string::npos) return "not a PEM certificate (no -----BEGIN line)";
    std::size_t const labelAt = begin + sizeof kBegin - 1;
    std::size_t const labelEnd = pem.find(kDashes, labelAt);
    std::string const label = pem.substr(labelAt, labelEnd == std::string::npos ? 0 : labelEnd - labelAt);
    if (label != "CERTIFICATE") {
        return label.empty() ? "not a PEM certificate (a damaged -----BEGIN line)"
                             : "the PEM holds a " + label + ", not a certificate";
    }
    std::size_t const bodyAt = labelEnd + sizeof kDashes - 1;
    std::size_t const end = pem.find(kEndCertificate, bodyAt);
    if (end == std::string::npos) return "the certificate's -----END line is missing";
    if (pem.find(kBegin, end) != std::string::npos) return "the PEM holds more than one certificate";

    std::vector<std::uint8_t> decoded;
    if (!DecodeBase64(pem.substr(bodyAt, end - bodyAt), decoded)) return "the certificate's base64 is damaged";
    if (decoded.empty()) return "the certificate is empty";
    if (!IsOneDerSequence(decoded)) return "the certificate is not DER";
    der = std::move(decoded);
    return std::string();
}

std::string FormatCertificatePem(std::vector<std::uint8_t> const& der) {
    std::string const digits = EncodeBase64(der);
    std::string pem = "-----BEGIN CERTIFICATE-----\n";
    for (std::size_t at = 0; at < digits.size(); at += 64) pem += digits.substr(at, 64) + "\n";
    return pem + kEndCertificate + "\n";
}

std::string ParseSha256Pin(std::string const& text, Sha256& pin) {
    std::string const trimmed = Trimmed(text);
    bool const paired = trimmed.find(':') != std::string::npos;
    std::size_t const step = paired ? 3 : 2;
    // Pairs with ':' between them: 32 * 3 - 1 characters.
    if (trimmed.size() != kSha256Bytes * step - (paired ? 1 : 0)) {
        return "the fingerprint must be 64 hex digits (SHA-256)";
    }
    Sha256 digits{};
    for (std::size_t i = 0; i < kSha256Bytes; ++i) {
        std::size_t const at = i * step;
        int const high = HexValue(trimmed[at]);
        int const low = HexValue(trimmed[at + 1]);
        bool const separated = !paired || i + 1 == kSha256Bytes || trimmed[at + 2] == ':';
        if (high < 0 || low < 0 || !separated) return "the fingerprint must be 64 hex digits (SHA-256)";
        digits[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    pin = digits;
    return std::string();
}

std::string FormatFingerprint(Sha256 const& digest) {
    static char const hex[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += hex[byte >> 4];
        text += hex[byte & 0x0f];
    }
    return text;
}

bool operator==(TlsPolicy const& a, TlsPolicy const& b) {
    return a.mode == b.mode && a.check == b.check && a.caDer == b.caDer && a.pin == b.pin &&
           a.serverName == b.serverName;
}

StartTlsDecision DecideStartTls(TlsMode mode, std::string const& reply) {
    if (reply == "OK STARTTLS") return {StartTlsStep::Handshake, std::string()};
    CommandReply const answer = ParseCommandReply(reply);
    if (answer.kind != CommandReply::Kind::Error) return {StartTlsStep::Fail, "unexpected answer to STARTTLS"};
    if (answer.error == "FEATURE-NOT-CONFIGURED" || answer.error == "FEATURE-NOT-SUPPORTED") {
        if (mode == TlsMode::Require) return {StartTlsStep::Fail, "the server does not offer TLS"};
        return {StartTlsStep::InClear, std::string()};
    }
    return {StartTlsStep::Fail, "STARTTLS refused: " + DescribeServerError(answer.error)};
}

}  // namespace nut
