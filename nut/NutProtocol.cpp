#include "nut/NutProtocol.h"

#include <algorithm>
#include <utility>

namespace nut {
namespace {

std::size_t const kMaxErrorCodeBytes = 64;

char const kPortMessage[] = "the port must be a number from 1 to 65535";
char const kHostMessage[] = "the host must be a name, an IPv4 address or an IPv6 address in brackets";
char const kFormMessage[] = "write the UPS as upsname@host[:port]";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

bool StartsWith(std::string const& text, std::string const& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The names go into request lines: anything that could split or quote a
// request, or start a comment there, is refused.
bool IsUpsNameChar(char c) {
    auto const u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7f && c != '"' && c != '\\' && c != '@' && c != '#';
}

bool IsHostNameChar(char c) { return IsAlnum(c) || c == '.' || c == '-' || c == '_'; }

bool IsIpv6Literal(std::string const& host) {
    std::size_t const zone = host.find('%');
    std::string const address = host.substr(0, zone);
    // Two colons at least: "nas:3493" is a host and a port, not an address.
    if (std::count(address.begin(), address.end(), ':') < 2) return false;
    bool const addressOk = std::all_of(address.begin(), address.end(),
                                       [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
    if (!addressOk) return false;
    if (zone == std::string::npos) return true;
    std::string const zoneId = host.substr(zone + 1);
    return !zoneId.empty() && std::all_of(zoneId.begin(), zoneId.end(), IsHostNameChar);
}

bool ParsePort(std::string const& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    if (!std::all_of(text.begin(), text.end(), IsDigit)) return false;
    unsigned long const value = std::stoul(text);
    if (value < 1 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool IsErrorCode(std::string const& code) {
    return !code.empty() && code.size() <= kMaxErrorCodeBytes &&
           std::all_of(code.begin(), code.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-'; });
}

VarReply Malformed() { return VarReply{}; }

// `ERR <CODE> [words]`: true for such a line, with `code` the code (which
// may still be ill-formed).
bool ReadErrorLine(std::string const& line, std::string& code) {
    if (!StartsWith(line, "ERR ")) return false;
    std::size_t const end = line.find(' ', 4);
    code = line.substr(4, end == std::string::npos ? std::string::npos : end - 4);
    return true;
}

}  // namespace

char const kStoppedFailure[] = "stopped";

// ---- lines ----

void LineAssembler::Append(char const* data, std::size_t size) {
    if (!broken_) pending_.append(data, size);
}

LineAssembler::Result LineAssembler::Next(std::string& line) {
    if (broken_) return Result::TooLong;
    std::size_t const end = pending_.find('\n');
    if (end == std::string::npos) {
        if (pending_.size() < kMaxLineBytes) return Result::NeedMore;
        broken_ = true;
    } else if (end + 1 > kMaxLineBytes) {
        broken_ = true;
    }
    if (broken_) {
        pending_.clear();
        return Result::TooLong;
    }
    line.assign(pending_, 0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pending_.erase(0, end + 1);
    return Result::Line;
}

void LineAssembler::Clear() {
    pending_.clear();
    broken_ = false;
}

// ---- replies ----

VarReply ParseVarReply(std::string const& line, std::string const& ups, std::string const& var) {
    VarReply reply;
    if (ReadErrorLine(line, reply.error)) {
        if (!IsErrorCode(reply.error)) return Malformed();
        reply.kind = VarReply::Kind::Error;
        return reply;
    }
    std::string const head = "VAR " + ups + " " + var + " \"";
    if (!StartsWith(line, head)) return Malformed();

    for (std::size_t i = head.size(); i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            // The closing quote ends the line.
            if (i + 1 != line.size()) return Malformed();
            reply.kind = VarReply::Kind::Value;
            return reply;
        }
        if (c == '\\') {
            if (++i == line.size()) return Malformed();
            c = line[i];
            if (c != '"' && c != '\\') return Malformed();
        } else if (IsControl(c)) {
            return Malformed();
        }
        reply.value.push_back(c);
    }
    return Malformed();  // no closing quote
}

// ---- lists ----

namespace {

// In the order of PolledVar.
char const* const kPolledVarNames[] = {"ups.status",    "battery.charge",  "battery.runtime", "ups.load",
                                       "input.voltage", "output.voltage", "ups.mfr",         "ups.model"};
static_assert(sizeof kPolledVarNames / sizeof kPolledVarNames[0] == kPolledVarCount, "one name per PolledVar");

// What may name a variable: printable, and nothing that quotes.
bool IsVarName(std::string const& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        auto const u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7f && c != '"' && c != '\\';
    });
}

}  // namespace

std::string FormatListVar(std::string const& ups) { return "LIST VAR " + ups + "\n"; }

VarListReader::VarListReader(std::string const& ups)
    : ups_(ups), begin_("BEGIN LIST VAR " + ups), end_("END LIST VAR " + ups), varPrefix_("VAR " + ups + " ") {}

VarListReader::Step VarListReader::Take(std::string const& line) {
    switch (state_) {
    case State::First: return TakeFirst(line);
    case State::Listing: return TakeListed(line);
    case State::Over: break;
    }
    return Step::Malformed;  // nothing may follow the end
}

VarListReader::Step VarListReader::Finish(Step step) {
    state_ = State::Over;
    return step;
}

VarListReader::Step VarListReader::TakeFirst(std::string const& line) {
    if (ReadErrorLine(line, list_.error)) return Finish(IsErrorCode(list_.error) ? Step::Done : Step::Malformed);
    if (line != begin_) return Finish(Step::Malformed);
    state_ = State::Listing;
    return Step::More;
}

VarListReader::Step VarListReader::TakeListed(std::string const& line) {
    if (line == end_) return Finish(Step::Done);
    if (++listed_ > kMaxListedVars) return Finish(Step::TooLong);
    if (!StartsWith(line, varPrefix_)) return Finish(Step::Malformed);
    std::size_t const nameEnd = line.find(' ', varPrefix_.size());
    if (nameEnd == std::string::npos) return Finish(Step::Malformed);
    std::string const name = line.substr(varPrefix_.size(), nameEnd - varPrefix_.size());
    if (!IsVarName(name)) return Finish(Step::Malformed);
    VarReply reply = ParseVarReply(line, ups_, name);
    if (reply.kind != VarReply::Kind::Value) return Finish(Step::Malformed);

    for (std::size_t i = 0; i < kPolledVarCount; ++i) {
        if (name != kPolledVarNames[i]) continue;
        // upsd lists each once: a second is a stream out of step.
        if (list_.values[i]) return Finish(Step::Malformed);
        list_.values[i] = std::move(reply.value);
    }
    return Step::More;
}

// ---- logging in ----

std::string CheckCredential(std::string const& value, char const* what) {
    if (value.empty()) return std::string("the ") + what + " is empty";
    if (value.size() > kMaxCredentialBytes)
        return std::string("the ") + what + " is longer than " + std::to_string(kMaxCredentialBytes) + " bytes";
    if (std::any_of(value.begin(), value.end(), IsControl))
        return std::string("the ") + what + " may not contain control characters";
    return std::string();
}

namespace {

// Appends `value` as QuoteArgument gives it.
void AppendArgument(std::string& out, std::string const& value) {
    bool const plain = !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '"' || c == '\\' || c == '#';
    });
    if (plain) {
        out += value;
        return;
    }
    out += '"';
    for (char const c : value) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

// "<verb><argument>\n" built where it stays, with room for the worst
// quoting reserved first: no growth or temporary leaves a copy of the
// argument (a password) in memory given back. Its holder wipes it.
void BuildRequest(std::string& out, char const* verb, std::string const& argument) {
    std::string const prefix = verb;
    out.reserve(prefix.size() + 2 * argument.size() + 3);
    out += prefix;
    AppendArgument(out, argument);
    out += '\n';
}

}  // namespace

std::string QuoteArgument(std::string const& value) {
    std::string quoted;
    AppendArgument(quoted, value);
    return quoted;
}

std::vector<std::string> FormatLoginRequests(std::string const& user, std::string const& password,
                                             std::string const& ups) {
    std::vector<std::string> requests(3);
    BuildRequest(requests[0], "USERNAME ", user);
    BuildRequest(requests[1], "PASSWORD ", password);
    requests[2] = "LOGIN " + ups + "\n";
    return requests;
}

CommandReply ParseCommandReply(std::string const& line) {
    CommandReply reply;
    if (line == "OK" || StartsWith(line, "OK ")) {
        reply.kind = CommandReply::Kind::Ok;
        return reply;
    }
    if (!ReadErrorLine(line, reply.error)) return reply;
    reply.kind = IsErrorCode(reply.error) ? CommandReply::Kind::Error : CommandReply::Kind::Malformed;
    if (reply.kind == CommandReply::Kind::Malformed) reply.error.clear();
    return reply;
}

std::string DescribeServerError(std::string const& code) {
    struct Known {
        char const* code;
        char const* text;
    };
    static Known const known[] = {
        {"UNKNOWN-UPS", "unknown UPS"},
        {"DATA-STALE", "data stale"},
        {"DRIVER-NOT-CONNECTED", "driver not connected"},
        {"VAR-NOT-SUPPORTED", "variable not supported"},
        {"ACCESS-DENIED", "access denied"},
        {"UNKNOWN-COMMAND", "command not understood"},
        {"INVALID-ARGUMENT", "invalid argument"},
        {"INVALID-PASSWORD", "wrong password"},
        {"INVALID-USERNAME", "unknown user"},
        {"USERNAME-REQUIRED", "user required"},
        {"PASSWORD-REQUIRED", "password required"},
        {"ALREADY-LOGGED-IN", "already logged in"},
        {"ALREADY-SET-USERNAME", "user already given"},
        {"ALREADY-SET-PASSWORD", "password already given"},
    };
    for (Known const& k : known) {
        if (code == k.code) return k.text;
    }
    return "server error " + code;
}

// ---- status ----

std::uint32_t PowerStateWord(std::string const& status) {
    bool onBattery = false;
    bool online = false;
    std::size_t start = 0;
    while (start < status.size()) {
        std::size_t end = status.find(' ', start);
        if (end == std::string::npos) end = status.size();
        std::string const token = status.substr(start, end - start);
        if (token == "LB" || token == "FSD") return kWordBatteryLow;
        if (token == "OB") onBattery = true;
        if (token == "OL") online = true;
        start = end + 1;
    }
    if (onBattery) return kWordOnBattery;
    if (online) return kWordOnLine;
    return 0;
}

bool HasStatusFlag(std::string const& status, char const* flag) {
    std::size_t start = 0;
    while (start < status.size()) {
        std::size_t end = status.find(' ', start);
        if (end == std::string::npos) end = status.size();
        if (status.compare(start, end - start, flag) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool NeedsAlertPolling(std::string const& status) {
    return HasStatusFlag(status, "OB") || HasStatusFlag(status, "LB") || HasStatusFlag(status, "FSD");
}

namespace {

// A whole or decimal number of at most `maxDigits` whole digits, in units
// of a 10^places-th, rounded; -1 when it is not one.
int ParseFixed(std::string const& value, std::size_t maxDigits, std::size_t places = 0) {
    std::size_t const dot = value.find('.');
    std::string const whole = value.substr(0, dot);
    std::string const fraction = dot == std::string::npos ? std::string() : value.substr(dot + 1);
    if (whole.empty() || whole.size() > maxDigits || !std::all_of(whole.begin(), whole.end(), IsDigit)) return -1;
    if (dot != std::string::npos &&
        (fraction.empty() || !std::all_of(fraction.begin(), fraction.end(), IsDigit))) {
        return -1;
    }
    int number = std::stoi(whole);
    for (std::size_t i = 0; i < places; ++i) number = number * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    if (fraction.size() > places && fraction[places] >= '5') ++number;
    return number;
}

}  // namespace

int ParseCharge(std::string const& value) {
    int const percent = ParseFixed(value, 6);
    if (percent > 100) return value.compare(0, 4, "100.") == 0 ? 100 : -1;
    return percent;
}

int ParseRuntime(std::string const& value) { return ParseFixed(value, 7); }

int ParseLoad(std::string const& value) { return ParseFixed(value, 3); }

int ParseVoltageTenths(std::string const& value) { return ParseFixed(value, 4, 1); }

UpsReading FailedReading(std::string const& failure) {
    UpsReading reading;
    reading.failure = failure;
    reading.statusWord = kWordNoConnection;
    return reading;
}

UpsReading ReadingFromReplies(VarReply const& status, VarReply const* charge, VarReply const* runtime) {
    if (status.kind == VarReply::Kind::Malformed) return FailedReading("malformed reply");
    if (status.kind == VarReply::Kind::Error) return FailedReading(DescribeServerError(status.error));
    if (charge != nullptr && charge->kind == VarReply::Kind::Malformed) return FailedReading("malformed reply");
    if (runtime != nullptr && runtime->kind == VarReply::Kind::Malformed) return FailedReading("malformed reply");

    UpsReading reading;
    reading.answered = true;
    reading.status = status.value;
    std::uint32_t const word = PowerStateWord(status.value);
    reading.statusWord = word != 0 ? word : kWordNoConnection;
    // An ERR for the charge (VAR-NOT-SUPPORTED, mostly) only means no charge.
    if (charge != nullptr && charge->kind == VarReply::Kind::Value) reading.charge = ParseCharge(charge->value);
    if (runtime != nullptr && runtime->kind == VarReply::Kind::Value) reading.runtimeSeconds = ParseRuntime(runtime->value);
    return reading;
}

namespace {

// What GET VAR would have answered for one variable of the list.
VarReply AsReply(VarList const& list, PolledVar var) {
    if (!list.error.empty()) return VarReply{VarReply::Kind::Error, std::string(), list.error};
    std::optional<std::string> const& value = list[var];
    if (!value) return VarReply{VarReply::Kind::Error, std::string(), "VAR-NOT-SUPPORTED"};
    return VarReply{VarReply::Kind::Value, *value, std::string()};
}

int ListedNumber(VarList const& list, PolledVar var, int (*parse)(std::string const&)) {
    return list[var] ? parse(*list[var]) : -1;
}

std::string ListedText(VarList const& list, PolledVar var) {
    std::optional<std::string> const& value = list[var];
    return value && value->size() <= kMaxUpsTextBytes ? *value : std::string();
}

}  // namespace

UpsReading ReadingFromList(VarList const& list) {
    VarReply const charge = AsReply(list, PolledVar::Charge);
    VarReply const runtime = AsReply(list, PolledVar::Runtime);
    UpsReading reading = ReadingFromReplies(AsReply(list, PolledVar::Status), &charge, &runtime);
    if (!reading.answered) return reading;
    reading.loadPercent = ListedNumber(list, PolledVar::Load, &ParseLoad);
    reading.inputVoltageTenths = ListedNumber(list, PolledVar::InputVoltage, &ParseVoltageTenths);
    reading.outputVoltageTenths = ListedNumber(list, PolledVar::OutputVoltage, &ParseVoltageTenths);
    reading.maker = ListedText(list, PolledVar::Maker);
    reading.model = ListedText(list, PolledVar::Model);
    return reading;
}

std::uint32_t ChargeWord(UpsReading const& reading) {
    return reading.charge < 0 ? 0 : static_cast<std::uint32_t>(reading.charge);
}

std::string FormatReading(UpsReading const& reading) {
    std::string text = reading.answered ? reading.status : reading.failure;
    if (reading.charge >= 0) text += " charge=" + std::to_string(reading.charge);
    return text + " -> word " + std::to_string(reading.statusWord);
}

// ---- addresses ----

std::vector<AddressProblem> CheckUpsAddress(UpsAddress& address) {
    std::vector<AddressProblem> problems;
    std::string const& name = address.upsName;
    if (name.empty()) {
        problems.push_back({AddressPart::UpsName, AddressFault::Empty, "the UPS name is empty"});
    } else if (name.size() > kMaxUpsNameBytes) {
        problems.push_back({AddressPart::UpsName, AddressFault::TooLong,
                            "the UPS name is longer than " + std::to_string(kMaxUpsNameBytes) + " characters"});
    } else if (!std::all_of(name.begin(), name.end(), IsUpsNameChar)) {
        problems.push_back({AddressPart::UpsName, AddressFault::Invalid,
                            "the UPS name may not contain blanks, quotes, backslashes, @, # or control characters"});
    }

    std::string& host = address.host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        std::string const inner = host.substr(1, host.size() - 2);
        if (IsIpv6Literal(inner)) host = inner;
    }
    if (host.empty()) {
        problems.push_back({AddressPart::Host, AddressFault::Empty, "the host is empty"});
    } else if (host.size() > kMaxHostBytes) {
        problems.push_back({AddressPart::Host, AddressFault::TooLong,
                            "the host is longer than " + std::to_string(kMaxHostBytes) + " characters"});
    } else if (!IsIpv6Literal(host) && !std::all_of(host.begin(), host.end(), IsHostNameChar)) {
        problems.push_back({AddressPart::Host, AddressFault::Invalid, kHostMessage});
    }
    if (address.port == 0) problems.push_back({AddressPart::Port, AddressFault::Invalid, kPortMessage});
    return problems;
}

std::string ParseUpsAddress(std::string const& text, UpsAddress& out) {
    if (text.empty()) return std::string("no UPS given: ") + kFormMessage;
    std::size_t const at = text.find('@');
    if (at == std::string::npos) return kFormMessage;

    UpsAddress address;
    address.upsName = text.substr(0, at);
    std::string const rest = text.substr(at + 1);

    // The host keeps its brackets: the judge takes them off.
    std::size_t hostEnd = rest.find(':');
    if (!rest.empty() && rest[0] == '[') {
        std::size_t const close = rest.find(']');
        if (close == std::string::npos) return "the IPv6 address lacks its closing bracket";
        hostEnd = close + 1;
        if (hostEnd < rest.size() && rest[hostEnd] != ':') return kHostMessage;
    } else if (hostEnd != std::string::npos && rest.find(':', hostEnd + 1) != std::string::npos) {
        return "write an IPv6 address in brackets: upsname@[::1]:3493";
    }
    address.host = rest.substr(0, hostEnd);
    if (hostEnd < rest.size() && !ParsePort(rest.substr(hostEnd + 1), address.port)) address.port = 0;

    std::vector<AddressProblem> const problems = CheckUpsAddress(address);
    if (!problems.empty()) return problems.front().message;
    out = address;
    return std::string();
}

std::string FormatUpsAddress(UpsAddress const& address) {
    bool const ipv6 = address.host.find(':') != std::string::npos;
    std::string const host = ipv6 ? "[" + address.host + "]" : address.host;
    return address.upsName + "@" + host + ":" + std::to_string(address.port);
}

std::uint64_t ConnectShareMs(std::uint64_t remainingMs, std::size_t candidatesLeft) {
    return candidatesLeft <= 1 ? remainingMs : remainingMs / candidatesLeft;
}

// ---- the persistent client's timing ----

bool MonitorLogic::ConnectDue(std::uint64_t nowMs) const { return nowMs >= nextAttemptMs_; }

std::uint64_t MonitorLogic::RetryInMs(std::uint64_t nowMs) const {
    return nowMs >= nextAttemptMs_ ? 0 : nextAttemptMs_ - nowMs;
}

void MonitorLogic::OnConnectionFailed(std::uint64_t nowMs) {
    nextAttemptMs_ = nowMs + delayMs_;
    delayMs_ = std::min(delayMs_ * 2, kLongestRetryMs);
}

void MonitorLogic::OnServerAnswered() { delayMs_ = kFirstRetryMs; }

void MonitorLogic::OnResumed() {
    nextAttemptMs_ = 0;
    delayMs_ = kFirstRetryMs;
}

std::uint32_t MonitorLogic::Decide(UpsReading const& reading, std::uint64_t nowMs) {
    if (!reading.answered) {
        waiting_ = false;
        lastWord_ = kWordNoConnection;
        return lastWord_;
    }
    std::uint32_t const word = PowerStateWord(reading.status);
    if (word != 0) {
        waiting_ = false;
        lastWord_ = word;
        return word;
    }
    // No power state (WAIT while the driver connects): hold the last word
    // for a while rather than flash "unknown" at every driver restart.
    if (!waiting_) {
        waiting_ = true;
        waitingSinceMs_ = nowMs;
    }
    if (nowMs - waitingSinceMs_ > kLongestWaitMs) lastWord_ = kWordNoConnection;
    return lastWord_;
}

std::uint64_t MonitorLogic::NextDecisionInMs(std::uint64_t nowMs) const {
    if (!waiting_ || lastWord_ == kWordNoConnection) return kNoDecisionDue;
    std::uint64_t const dueMs = waitingSinceMs_ + kLongestWaitMs + 1;
    return nowMs >= dueMs ? 0 : dueMs - nowMs;
}

}  // namespace nut
