// libFuzzer target: arbitrary bytes as server output (cut into lines in
// chunks the input chooses, read as replies and as a list of variables),
// as a UPS address typed by a person, and as a CA certificate file or a
// fingerprint given to the TLS policy.
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

// Whatever a finished list held, its reading is in range.
void CheckListReading(nut::VarList const& list) {
    nut::UpsReading const reading = nut::ReadingFromList(list);
    Check(reading.answered == (list.error.empty() && list[nut::PolledVar::Status].has_value()));
    Check(reading.statusWord >= 1 && reading.statusWord <= 4);
    Check(reading.charge >= -1 && reading.charge <= 100);
    Check(reading.runtimeSeconds >= -1 && reading.loadPercent >= -1 && reading.loadPercent <= 1000);
    Check(reading.inputVoltageTenths >= -1 && reading.outputVoltageTenths >= -1);
    Check(reading.maker.size() <= nut::kMaxUpsTextBytes && reading.model.size() <= nut::kMaxUpsTextBytes);
}

// The lines as the reply to LIST VAR; a reader is never asked past its end.
void TakeListLine(nut::VarListReader& list, std::string const& line) {
    nut::VarListReader::Step const step = list.Take(line);
    if (step == nut::VarListReader::Step::More) return;
    if (step == nut::VarListReader::Step::Done) CheckListReading(list.List());
    Check(list.Take("END LIST VAR ups") == nut::VarListReader::Step::Malformed);
    list = nut::VarListReader("ups");
}

// The input as the VAR lines between a list's BEGIN and END, each after
// its "VAR ups ", where the fuzzer would seldom get by chance: its effort
// goes into the names and values.
void FuzzListBody(std::uint8_t const* data, std::size_t size) {
    std::string const body(reinterpret_cast<char const*>(data), size);
    nut::VarListReader list("ups");
    nut::VarListReader::Step step = list.Take("BEGIN LIST VAR ups");
    for (std::size_t at = 0; at < body.size() && step == nut::VarListReader::Step::More;) {
        std::size_t end = body.find('\n', at);
        if (end == std::string::npos) end = body.size();
        step = list.Take("VAR ups " + body.substr(at, end - at));
        at = end + 1;
    }
    if (step == nut::VarListReader::Step::More) step = list.Take("END LIST VAR ups");
    if (step == nut::VarListReader::Step::Done) CheckListReading(list.List());
}

void FuzzServerOutput(std::uint8_t const* data, std::size_t size) {
    if (size == 0) return;
    std::size_t const chunk = 1 + data[0] % 97;
    nut::LineAssembler lines;
    std::string line;
    nut::VarReply previous;
    nut::VarListReader list("ups");
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
            TakeListLine(list, line);
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
    Check(nut::FormatListVar(address.upsName).find('\n') == 9 + address.upsName.size());
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
    FuzzListBody(data, size);
    FuzzAddress(data, size);
    FuzzCredential(data, size);
    FuzzTlsPolicy(data, size);
    return 0;
}
