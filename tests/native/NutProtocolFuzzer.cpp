// libFuzzer target: arbitrary bytes as server output (cut into lines in
// chunks the input chooses), as a UPS address typed by a person, and as a
// CA certificate file or a fingerprint given to the TLS policy.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "nut/NutProtocol.h"
#include "nut/TlsPolicy.h"

namespace {

void Check(bool fact) {
    if (!fact) __builtin_trap();
}

void FuzzServerOutput(std::uint8_t const* data, std::size_t size) {
    if (size == 0) return;
    std::size_t const chunk = 1 + data[0] % 97;
    nut::LineAssembler lines;
    std::string line;
    nut::VarReply previous;
    for (std::size_t at = 1; at < size; at += chunk) {
        std::size_t const length = size - at < chunk ? size - at : chunk;
        lines.Append(reinterpret_cast<char const*>(data + at), length);
        for (;;) {
            nut::LineAssembler::Result const result = lines.Next(line);
            if (result != nut::LineAssembler::Result::Line) break;
            Check(line.size() < nut::kMaxLineBytes);
            Check(line.find('\n') == std::string::npos);
            nut::CommandReply const answer = nut::ParseCommandReply(line);
            Check((answer.kind == nut::CommandReply::Kind::Error) == !answer.error.empty());
            nut::VarReply const reply = nut::ParseVarReply(line, "ups", "ups.status");
            if (reply.kind == nut::VarReply::Kind::Value) {
                for (char c : reply.value) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
            }
            nut::UpsReading const reading = nut::ReadingFromReplies(previous, &reply);
            Check(reading.statusWord >= 1 && reading.statusWord <= 4);
            Check(reading.charge >= -1 && reading.charge <= 100);
            Check(!nut::FormatReading(reading).empty());
            previous = reply;
        }
    }
}

void FuzzAddress(std::uint8_t const* data, std::size_t size) {
    std::string const text(reinterpret_cast<char const*>(data), size);
    nut::UpsAddress address;
    if (!nut::ParseUpsAddress(text, address).empty()) return;
    Check(nut::CheckUpsAddress(address).empty());
    // What is accepted formats to text that reads back the same.
    nut::UpsAddress again;
    Check(nut::ParseUpsAddress(nut::FormatUpsAddress(address), again).empty());
    Check(again.upsName == address.upsName && again.host == address.host && again.port == address.port);
    Check(nut::FormatGetVar(address.upsName, "ups.status").find('\n') == 8 + address.upsName.size() + 11);
}

// A credential that passes stays one request line, however it is quoted.
void FuzzCredential(std::uint8_t const* data, std::size_t size) {
    std::string const text(reinterpret_cast<char const*>(data), size);
    if (!nut::CheckCredential(text, "password").empty()) return;
    for (std::string const& request : nut::FormatLoginRequests(text, text, "ups"))
        Check(request.find('\n') == request.size() - 1);
}

// What the policy takes is a certificate's one DER sequence, and a
// fingerprint it reads back in the spelling it prints.
void FuzzTlsPolicy(std::uint8_t const* data, std::size_t size) {
    std::string const text(reinterpret_cast<char const*>(data), size);
    std::vector<std::uint8_t> der;
    if (nut::ParseCertificatePem(text, der).empty()) Check(der.size() >= 2 && der[0] == 0x30);
    nut::Sha256 pin{};
    if (!nut::ParseSha256Pin(text, pin).empty()) return;
    nut::Sha256 again{};
    Check(nut::ParseSha256Pin(nut::FormatFingerprint(pin), again).empty() && again == pin);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    FuzzServerOutput(data, size);
    FuzzAddress(data, size);
    FuzzCredential(data, size);
    FuzzTlsPolicy(data, size);
    return 0;
}
