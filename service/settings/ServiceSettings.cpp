#include "service/settings/ServiceSettings.h"

#include <windows.h>

#include <initializer_list>
#include <iterator>
#include <string>
#include <type_traits>
#include <utility>

#include "nut/NutProtocol.h"
#include "win32/Arguments.h"
#include "win32/ProtectedKey.h"
#include "win32/UniqueHandle.h"
#include "win32/Win32Error.h"

namespace vandrel {
namespace {

// Registry strings beyond this are garbage, not settings (a CA
// certificate's PEM, the longest, takes a few KB).
DWORD const kMaxStringBytes = 16384;

std::string Trimmed(std::string const& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.substr(begin, end - begin);
}

bool EqualsIgnoringAsciiCase(std::string const& text, char const* lower) {
    size_t i = 0;
    for (; i < text.size() && lower[i] != '\0'; ++i) {
        char const c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lower[i]) return false;
    }
    return i == text.size() && lower[i] == '\0';
}

SettingsProblem Problem(SettingsField field, std::string message) { return {field, std::move(message)}; }

// The client's judge decides what an address is; here its answer only
// goes to the field it is about. `ups` is brought to its stored form.
SettingsProblem CheckAddress(nut::UpsAddress& ups, SettingsField only = SettingsField::None) {
    for (nut::AddressProblem const& problem : nut::CheckUpsAddress(ups)) {
        SettingsField const field = problem.part == nut::AddressPart::UpsName ? SettingsField::UpsName
                                    : problem.part == nut::AddressPart::Host  ? SettingsField::Host
                                                                              : SettingsField::Port;
        if (only == SettingsField::None || only == field) return Problem(field, problem.message);
    }
    return {};
}

std::string Range(uint32_t min, uint32_t max) { return std::to_string(min) + "-" + std::to_string(max); }

// ---- the table ----

// A number at the end of `Path`, members from ServiceSettings inwards.
template <auto... Path>
uint32_t NumberAt(ServiceSettings const& settings) {
    return (settings .* ... .* Path);
}

template <auto... Path>
void SetNumberAt(ServiceSettings& settings, uint32_t value) {
    auto& member = (settings .* ... .* Path);
    member = static_cast<std::remove_reference_t<decltype(member)>>(value);  // within the row's bounds: it fits
}

template <auto... Path>
constexpr FieldDescriptor Number(SettingsField field, char const* valueName, char const* label, char const* option,
                                 FieldScope optionScope, FieldScope checkScope, uint32_t min, uint32_t max,
                                 char const* unit, char const* note = "") {
    return {field, valueName, label, option, optionScope, checkScope, &NumberAt<Path...>, &SetNumberAt<Path...>,
            min, max, unit, note, nullptr, nullptr};
}

constexpr FieldDescriptor Text(SettingsField field, char const* valueName, char const* label, char const* option,
                               FieldScope optionScope, FieldScope checkScope,
                               std::string (*stored)(ServiceSettings const&), TextParser parse) {
    return {field, valueName, label, option, optionScope, checkScope, nullptr, nullptr, 0, 0, "", "", stored, parse};
}

// "shutdown must be "off" or "critical", not "sometimes"".
std::string NeitherName(FieldDescriptor const& row, char const* first, char const* second, std::string const& text) {
    return std::string(row.label) + " must be \"" + first + "\" or \"" + second + "\", not \"" + text + "\"";
}

std::string SourceText(ServiceSettings const& settings) { return SourceName(settings.source); }
std::string ParseSource(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    return ParseSourceName(text, settings.source) ? std::string() : NeitherName(row, "nut", "simulate", text);
}

std::string UpsNameText(ServiceSettings const& settings) { return settings.ups.upsName; }
std::string HostText(ServiceSettings const& settings) { return settings.ups.host; }
// Only this part's verdict counts: the others are set on their own.
std::string ParseAddressPart(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    nut::UpsAddress ups = settings.ups;
    (row.field == SettingsField::UpsName ? ups.upsName : ups.host) = text;
    SettingsProblem const problem = CheckAddress(ups, row.field);
    if (!problem.failed()) settings.ups = ups;
    return problem.message;
}

std::string ScriptText(ServiceSettings const& settings) {
    return FormatScript(settings.simulation.script, settings.simulation.scriptStepMs);
}
std::string ParseScriptText(ServiceSettings& settings, std::string const& text, FieldDescriptor const&) {
    SimulationSettings& simulation = settings.simulation;
    if (text.empty()) {  // back to the fixed word
        simulation.script.clear();
        simulation.scriptStepMs = 0;
        return {};
    }
    return ParseScript(text, simulation.script, simulation.scriptStepMs);
}

std::string ShutdownText(ServiceSettings const& settings) { return ShutdownModeName(settings.protection.mode); }
std::string ParseShutdown(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    return ParseShutdownModeName(text, settings.protection.mode) ? std::string()
                                                                  : NeitherName(row, "off", "critical", text);
}

std::string ActionText(ServiceSettings const& settings) { return ShutdownActionName(settings.protection.action); }
std::string ParseAction(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    return ParseShutdownActionName(text, settings.protection.action) ? std::string()
                                                                      : NeitherName(row, "shutdown", "hibernate", text);
}

std::string LoginText(ServiceSettings const& settings) { return settings.protection.login; }
std::string ParseLogin(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    // Empty: no login, the service only reads.
    std::string const problem = text.empty() ? std::string() : nut::CheckCredential(text, row.label);
    if (problem.empty()) settings.protection.login = text;
    return problem;
}

std::string TlsText(ServiceSettings const& settings) { return TlsModeName(settings.tls.mode); }
std::string ParseTls(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    if (ParseTlsModeName(text, settings.tls.mode)) return {};
    return std::string(row.label) + " must be \"off\", \"try\" or \"require\", not \"" + text + "\"";
}

// One check at a time: a CA given drops a fingerprint, and the other way
// round; an empty text clears its own check only.
std::string CaText(ServiceSettings const& settings) {
    return settings.tls.check == nut::TlsCheck::Ca ? nut::FormatCertificatePem(settings.tls.caDer) : std::string();
}
std::string ParseCa(ServiceSettings& settings, std::string const& text, FieldDescriptor const&) {
    nut::TlsPolicy& tls = settings.tls;
    std::vector<std::uint8_t> der;
    if (!text.empty()) {
        std::string const why = nut::ParseCertificatePem(text, der);
        if (!why.empty()) return why;
    } else if (tls.check != nut::TlsCheck::Ca) {
        return {};
    }
    tls.check = der.empty() ? nut::TlsCheck::None : nut::TlsCheck::Ca;
    tls.caDer = std::move(der);
    tls.pin = nut::Sha256{};
    return {};
}

std::string PinText(ServiceSettings const& settings) {
    return settings.tls.check == nut::TlsCheck::Pin ? nut::FormatFingerprint(settings.tls.pin) : std::string();
}
std::string ParsePin(ServiceSettings& settings, std::string const& text, FieldDescriptor const&) {
    nut::TlsPolicy& tls = settings.tls;
    nut::Sha256 pin{};
    if (!text.empty()) {
        std::string const why = nut::ParseSha256Pin(text, pin);
        if (!why.empty()) return why;
    } else if (tls.check != nut::TlsCheck::Pin) {
        return {};
    }
    tls.check = text.empty() ? nut::TlsCheck::None : nut::TlsCheck::Pin;
    tls.pin = pin;
    tls.caDer.clear();
    return {};
}

std::string TlsNameText(ServiceSettings const& settings) { return settings.tls.serverName; }
// A host name or an address as a certificate carries it; empty: the UPS's host.
std::string ParseTlsName(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    bool usable = text.size() <= 253;
    for (char const c : text) {
        bool const alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        usable = usable && (alphanumeric || c == '.' || c == '-' || c == '_' || c == ':' || c == '*');
    }
    if (!usable) return std::string(row.label) + " must be a host name, not \"" + text + "\"";
    settings.tls.serverName = text;
    return {};
}

std::string NotifyText(ServiceSettings const& settings) { return NotifyModeName(settings.events.notify); }
std::string ParseNotify(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    for (NotifyMode const mode : {NotifyMode::Off, NotifyMode::Critical, NotifyMode::All}) {
        if (EqualsIgnoringAsciiCase(text, NotifyModeName(mode))) {
            settings.events.notify = mode;
            return {};
        }
    }
    return std::string(row.label) + " must be \"off\", \"critical\" or \"all\", not \"" + text + "\"";
}

bool EndsWithIgnoringCase(std::string const& text, char const* lowerSuffix) {
    size_t const length = std::char_traits<char>::length(lowerSuffix);
    return text.size() >= length && EqualsIgnoringAsciiCase(text.substr(text.size() - length), lowerSuffix);
}

std::string EventCommandText(ServiceSettings const& settings) { return settings.events.command; }
// A full path, since the service's current folder is not the user's, to a
// program the service knows how to start.
std::string ParseEventCommand(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row) {
    if (!text.empty()) {
        bool const absolute = (text.size() > 2 && text[1] == ':' && (text[2] == '\\' || text[2] == '/')) ||
                              text.compare(0, 2, "\\\\") == 0;
        if (!absolute) return std::string(row.label) + " must be a full path (C:\\...), not \"" + text + "\"";
        if (!EndsWithIgnoringCase(text, ".exe") && !EndsWithIgnoringCase(text, ".cmd") &&
            !EndsWithIgnoringCase(text, ".bat"))
            return std::string(row.label) + " must be an .exe, .cmd or .bat file";
        if (text.size() >= MAX_PATH || text.find_first_of("\"\r\n\t") != std::string::npos)
            return std::string(row.label) + " must be a path of less than 260 characters without quotes";
    }
    settings.events.command = text;
    return {};
}

constexpr auto kUps = &ServiceSettings::ups;
constexpr auto kSimulation = &ServiceSettings::simulation;
constexpr auto kProtection = &ServiceSettings::protection;
constexpr FieldScope kEither = FieldScope::Either;
constexpr FieldScope kNut = FieldScope::Nut;
constexpr FieldScope kSimulate = FieldScope::Simulate;
char const kNever[] = " (0: never)";

// Each row: the field, its value in the key, its label, its option, the
// source whose option it is and the source while which it is checked; then
// a text's reader and parser, or a number's bounds, unit and note (its
// member named first).
FieldDescriptor const kFields[] = {
    Text(SettingsField::Source, "Source", "source", nullptr, kEither, kEither, SourceText, ParseSource),
    Text(SettingsField::UpsName, "UpsName", "UPS name", nullptr, kNut, kNut, UpsNameText, ParseAddressPart),
    Text(SettingsField::Host, "Host", "host", nullptr, kNut, kNut, HostText, ParseAddressPart),
    Number<kUps, &nut::UpsAddress::port>(
        SettingsField::Port, "Port", "port", nullptr, kNut, kNut, 1, 65535, ""),
    Number<&ServiceSettings::pollMs>(
        SettingsField::PollMs, "PollMs", "poll interval", "--poll-ms", kNut, kEither, kMinPollMs, kMaxPollMs, " ms"),
    Number<kSimulation, &SimulationSettings::statusWord>(
        SettingsField::StatusWord, "StatusWord", "status word", "--status", kSimulate, kSimulate, 1, UINT32_MAX, "",
        " (readers take 0 for a stopped service)"),
    Text(SettingsField::Script, "Script", "script", "--script", kSimulate, kSimulate, ScriptText, ParseScriptText),
    Number<kSimulation, &SimulationSettings::stopDelayMs>(
        SettingsField::StopDelayMs, "StopDelayMs", "stop delay", "--stop-delay-ms", kSimulate, kSimulate, 0,
        kMaxDelayMs, " ms"),
    Number<kSimulation, &SimulationSettings::startDelayMs>(
        SettingsField::StartDelayMs, "StartDelayMs", "start delay", "--start-delay-ms", kSimulate, kSimulate, 0,
        kMaxDelayMs, " ms"),
    Text(SettingsField::Shutdown, "Shutdown", "shutdown", "--shutdown", kEither, kEither, ShutdownText, ParseShutdown),
    Number<kProtection, &ProtectionSettings::onBatteryLimitSeconds>(
        SettingsField::OnBatteryLimit, "OnBatteryLimitSeconds", "on-battery limit", "--on-battery-limit", kEither,
        kEither, 0, kMaxOnBatteryLimitSeconds, " s", kNever),
    Number<kProtection, &ProtectionSettings::graceSeconds>(
        SettingsField::Grace, "GraceSeconds", "grace", "--grace", kEither, kEither, 0, kMaxGraceSeconds, " s"),
    Text(SettingsField::Action, "Action", "action", "--action", kEither, kEither, ActionText, ParseAction),
    Text(SettingsField::Login, "Login", "login user", "--login", kNut, kEither, LoginText, ParseLogin),
    Number<kProtection, &ProtectionSettings::finalDelaySeconds>(
        SettingsField::FinalDelay, "FinalDelaySeconds", "final delay", "--final-delay", kEither, kEither, 0,
        kMaxFinalDelaySeconds, " s"),
    Number<kProtection, &ProtectionSettings::hostsyncSeconds>(
        SettingsField::Hostsync, "HostsyncSeconds", "hostsync", "--hostsync", kEither, kEither, kMinHostsyncSeconds,
        kMaxHostsyncSeconds, " s"),
    Number<kProtection, &ProtectionSettings::chargeBelowPercent>(
        SettingsField::ChargeBelow, "ChargeBelowPercent", "charge threshold", "--charge-below", kEither, kEither, 0,
        100, " %", kNever),
    Number<kProtection, &ProtectionSettings::runtimeBelowSeconds>(
        SettingsField::RuntimeBelow, "RuntimeBelowSeconds", "runtime threshold", "--runtime-below", kEither, kEither,
        0, kMaxRuntimeBelowSeconds, " s", kNever),
    Text(SettingsField::Tls, "Tls", "TLS", "--tls", kNut, kNut, TlsText, ParseTls),
    Text(SettingsField::TlsCa, "TlsCa", "CA certificate", "--tls-ca", kNut, kNut, CaText, ParseCa),
    Text(SettingsField::TlsPin, "TlsPin", "certificate fingerprint", "--tls-pin", kNut, kNut, PinText, ParsePin),
    Text(SettingsField::TlsName, "TlsName", "certificate name", "--tls-name", kNut, kNut, TlsNameText, ParseTlsName),
    Text(SettingsField::Notify, "Notify", "notify", "--notify", kEither, kEither, NotifyText, ParseNotify),
    Text(SettingsField::OnEvent, "OnEvent", "event command", "--on-event", kEither, kEither, EventCommandText,
         ParseEventCommand),
};

// "poll interval must be 500-60000 ms"; a number bounded only by 1 below
// "must not be 0".
std::string OutOfBounds(FieldDescriptor const& row) {
    std::string const bounds = row.max == UINT32_MAX && row.min == 1 ? std::string("must not be 0")
                                                                     : "must be " + Range(row.min, row.max) + row.unit;
    return std::string(row.label) + " " + bounds + row.note;
}

SettingsProblem SetNumber(ServiceSettings& settings, FieldDescriptor const& row, uint32_t value) {
    if (value < row.min || value > row.max) return Problem(row.field, OutOfBounds(row));
    row.setNumber(settings, value);
    return {};
}

// The value's text form, as the settings now hold it.
std::string FieldText(ServiceSettings const& settings, FieldDescriptor const& row) {
    return row.IsNumber() ? std::to_string(row.number(settings)) : row.text(settings);
}

// ---- the registry ----

char const* TypeName(DWORD type) {
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_DWORD: return "REG_DWORD";
    case REG_QWORD: return "REG_QWORD";
    case REG_BINARY: return "REG_BINARY";
    case REG_NONE: return "REG_NONE";
    default: return "an unknown type";
    }
}

// Reads one value into `settings`. Nothing when it was missing or taken;
// else what is wrong with it (the field then keeps its default).
std::optional<UnusableValue> ReadValue(HKEY key, FieldDescriptor const& row, ServiceSettings& settings) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, row.valueName, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    // A field is set only when its value is taken: this is still its default.
    auto const unusable = [&](std::string why, bool refused = false) {
        return UnusableValue{row.valueName, std::move(why), refused, FieldText(settings, row)};
    };
    auto const taken = [&](SettingsProblem const& problem) {
        return problem.failed() ? unusable(problem.message, true) : std::optional<UnusableValue>();
    };
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return unusable("cannot be read: " + win32::DescribeWin32Error(static_cast<DWORD>(status)));
    if (type != row.RegistryType())
        return unusable(std::string("is ") + TypeName(type) + ", not " + TypeName(row.RegistryType()));

    if (row.IsNumber()) {
        DWORD value = 0;
        DWORD valueSize = sizeof value;
        if (size != sizeof value ||
            ::RegQueryValueExA(key, row.valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &valueSize) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || valueSize != sizeof value)
            return unusable("is not a 4-byte REG_DWORD");
        return taken(SetNumber(settings, row, value));
    }

    if (size > kMaxStringBytes) return unusable("is longer than " + std::to_string(kMaxStringBytes) + " bytes");
    std::string text(size, '\0');
    DWORD textSize = size;
    status = ::RegQueryValueExA(key, row.valueName, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &textSize);
    // It may have changed between the two calls; take it as garbage then.
    if (status != ERROR_SUCCESS || type != REG_SZ || textSize > size) return unusable("changed while being read");
    text.resize(textSize);
    // The terminator is not guaranteed to be stored, or there may be several.
    while (!text.empty() && text.back() == '\0') text.pop_back();
    if (text.find('\0') != std::string::npos) return unusable("holds a NUL character");
    return taken(SetFieldFromText(settings, row.field, text));
}

LONG WriteValue(HKEY key, FieldDescriptor const& row, ServiceSettings const& settings) {
    if (row.IsNumber()) {
        DWORD const value = row.number(settings);
        return ::RegSetValueExA(key, row.valueName, 0, REG_DWORD, reinterpret_cast<BYTE const*>(&value), sizeof value);
    }
    std::string const text = row.text(settings);
    return ::RegSetValueExA(key, row.valueName, 0, REG_SZ, reinterpret_cast<BYTE const*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
}

// The script as a whole, worded for settings that did not come as text
// (ParseScript words the same faults for what is typed).
SettingsProblem CheckScript(SimulationSettings const& simulation) {
    if (!simulation.script.empty()) {
        if (simulation.script.size() > kMaxScriptWords)
            return Problem(SettingsField::Script, "script has more than " + std::to_string(kMaxScriptWords) + " words");
        if (simulation.scriptStepMs < kMinScriptStepMs || simulation.scriptStepMs > kMaxScriptStepMs)
            return Problem(SettingsField::Script,
                           "script step must be " + Range(kMinScriptStepMs, kMaxScriptStepMs) + " ms");
    }
    for (uint32_t const word : simulation.script)
        if (word == 0) return Problem(SettingsField::Script, "script words must not be 0");
    return {};
}

}  // namespace

FieldTable SettingsFields() { return {std::begin(kFields), std::end(kFields)}; }

FieldDescriptor const* FindField(SettingsField field) {
    for (FieldDescriptor const& row : kFields)
        if (row.field == field) return &row;
    return nullptr;
}

FieldDescriptor const* FindFieldByOption(std::string const& option) {
    for (FieldDescriptor const& row : kFields)
        if (row.option != nullptr && option == row.option) return &row;
    return nullptr;
}

bool operator==(SimulationSettings const& a, SimulationSettings const& b) {
    return a.statusWord == b.statusWord && a.script == b.script && a.scriptStepMs == b.scriptStepMs &&
           a.stopDelayMs == b.stopDelayMs && a.startDelayMs == b.startDelayMs;
}

bool operator==(ProtectionSettings const& a, ProtectionSettings const& b) {
    return a.mode == b.mode && a.onBatteryLimitSeconds == b.onBatteryLimitSeconds &&
           a.graceSeconds == b.graceSeconds && a.action == b.action && a.login == b.login &&
           a.finalDelaySeconds == b.finalDelaySeconds && a.hostsyncSeconds == b.hostsyncSeconds &&
           a.chargeBelowPercent == b.chargeBelowPercent && a.runtimeBelowSeconds == b.runtimeBelowSeconds;
}

bool operator==(ServiceSettings const& a, ServiceSettings const& b) {
    return a.source == b.source && a.ups.upsName == b.ups.upsName && a.ups.host == b.ups.host &&
           a.ups.port == b.ups.port && a.pollMs == b.pollMs && a.tls == b.tls && a.simulation == b.simulation &&
           a.protection == b.protection && a.events.notify == b.events.notify &&
           a.events.command == b.events.command;
}

namespace {

// Each of a choice's values is one of two names; people type registry
// values by hand, so the case does not matter.
template <typename Choice>
bool ParseChoice(std::string const& text, char const* firstName, Choice first, char const* secondName, Choice second,
                 Choice& out) {
    if (EqualsIgnoringAsciiCase(text, firstName)) {
        out = first;
        return true;
    }
    if (EqualsIgnoringAsciiCase(text, secondName)) {
        out = second;
        return true;
    }
    return false;
}

}  // namespace

char const* SourceName(SourceKind source) { return source == SourceKind::Nut ? "nut" : "simulate"; }

bool ParseSourceName(std::string const& text, SourceKind& out) {
    return ParseChoice(text, "nut", SourceKind::Nut, "simulate", SourceKind::Simulate, out);
}

char const* ShutdownModeName(ShutdownMode mode) { return mode == ShutdownMode::Critical ? "critical" : "off"; }

bool ParseShutdownModeName(std::string const& text, ShutdownMode& out) {
    return ParseChoice(text, "off", ShutdownMode::Off, "critical", ShutdownMode::Critical, out);
}

char const* ShutdownActionName(ShutdownAction action) {
    return action == ShutdownAction::Hibernate ? "hibernate" : "shutdown";
}

bool ParseShutdownActionName(std::string const& text, ShutdownAction& out) {
    return ParseChoice(text, "shutdown", ShutdownAction::Shutdown, "hibernate", ShutdownAction::Hibernate, out);
}

char const* NotifyModeName(NotifyMode mode) {
    return mode == NotifyMode::Off ? "off" : mode == NotifyMode::All ? "all" : "critical";
}

namespace {

struct TlsModeNamed {
    char const* name;
    nut::TlsMode mode;
};
TlsModeNamed const kTlsModes[] = {
    {"off", nut::TlsMode::Off}, {"try", nut::TlsMode::Try}, {"require", nut::TlsMode::Require}};

}  // namespace

char const* TlsModeName(nut::TlsMode mode) {
    for (TlsModeNamed const& named : kTlsModes)
        if (named.mode == mode) return named.name;
    return "try";
}

bool ParseTlsModeName(std::string const& text, nut::TlsMode& out) {
    for (TlsModeNamed const& named : kTlsModes) {
        if (EqualsIgnoringAsciiCase(text, named.name)) {
            out = named.mode;
            return true;
        }
    }
    return false;
}

std::string ParseScript(std::string const& text, std::vector<uint32_t>& words, uint32_t& stepMs) {
    std::string const bad = "invalid script \"" + text + "\" (expected words and a step time, e.g. 3,1,2@2000)";
    size_t const at = text.find('@');
    if (at == std::string::npos || at == 0) return bad;
    std::vector<uint32_t> parsed;
    size_t begin = 0;
    while (begin <= at) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos || end > at) end = at;
        uint32_t word = 0;
        if (!win32::ParseUint32(text.substr(begin, end - begin).c_str(), word)) return bad;
        if (word == 0) return "script words must not be 0 (readers take 0 for a stopped service)";
        parsed.push_back(word);
        if (parsed.size() > kMaxScriptWords)
            return "script has more than " + std::to_string(kMaxScriptWords) + " words";
        begin = end + 1;
    }
    uint32_t step = 0;
    if (!win32::ParseUint32(text.substr(at + 1).c_str(), step) || step < kMinScriptStepMs ||
        step > kMaxScriptStepMs)
        return "script step must be " + Range(kMinScriptStepMs, kMaxScriptStepMs) + " ms (after the @)";
    words = std::move(parsed);
    stepMs = step;
    return {};
}

std::string FormatScript(std::vector<uint32_t> const& words, uint32_t stepMs) {
    if (words.empty()) return {};
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i != 0) text += ',';
        text += std::to_string(words[i]);
    }
    return text + '@' + std::to_string(stepMs);
}

SettingsProblem ValidateSettings(ServiceSettings const& settings) {
    // The source's own judge first: the NUT client's words the address
    // whole (a port of 0 too).
    bool const onNut = settings.source == SourceKind::Nut;
    nut::UpsAddress ups = settings.ups;
    SettingsProblem problem = onNut ? CheckAddress(ups) : CheckScript(settings.simulation);
    // Then each field as its own check would take it: the source's, then
    // those of either source.
    ServiceSettings probe = settings;
    for (FieldScope const scope : {onNut ? FieldScope::Nut : FieldScope::Simulate, FieldScope::Either}) {
        for (FieldDescriptor const& row : kFields) {
            if (problem.failed()) return problem;
            if (row.checkScope != scope) continue;
            problem = row.IsNumber() ? SetNumber(probe, row, row.number(settings))
                                     : SetFieldFromText(probe, row.field, row.text(settings));
        }
    }
    if (!problem.failed() && onNut && settings.tls.mode == nut::TlsMode::Off &&
        settings.tls.check != nut::TlsCheck::None)
        return Problem(SettingsField::Tls,
                       "TLS is off, so the server's certificate would never be checked: choose \"try\" or "
                       "\"require\", or clear the CA certificate and the fingerprint");
    return problem;
}

SettingsProblem SetFieldFromText(ServiceSettings& settings, SettingsField field, std::string const& rawText) {
    FieldDescriptor const* const row = FindField(field);
    if (row == nullptr) return Problem(field, "no such field");
    std::string const text = Trimmed(rawText);
    if (!row->IsNumber()) {
        std::string why = row->parse(settings, text, *row);
        return why.empty() ? SettingsProblem{} : Problem(field, std::move(why));
    }
    uint32_t value = 0;
    if (!win32::ParseUint32(text.c_str(), value)) {
        // Say what the bounds are, as for a number too large.
        return Problem(field, row->max == UINT32_MAX ? std::string(row->label) + " must be a whole number"
                                                     : OutOfBounds(*row));
    }
    return SetNumber(settings, *row, value);
}

namespace {

std::string DescribeProtection(ServiceSettings const& settings) {
    ProtectionSettings const& protection = settings.protection;
    std::string text;
    if (protection.mode == ShutdownMode::Critical) {
        text += std::string(", shutdown critical (") + ShutdownActionName(protection.action) + ", grace " +
                std::to_string(protection.graceSeconds) + " s";
        if (protection.onBatteryLimitSeconds != 0)
            text += ", or after " + std::to_string(protection.onBatteryLimitSeconds) + " s on battery";
        if (protection.chargeBelowPercent != 0)
            text += ", or below " + std::to_string(protection.chargeBelowPercent) + " % charge";
        if (protection.runtimeBelowSeconds != 0)
            text += ", or below " + std::to_string(protection.runtimeBelowSeconds) + " s runtime";
        // NUT's own timers only where they differ from NUT's defaults.
        if (protection.finalDelaySeconds != kDefaultFinalDelaySeconds)
            text += ", final delay " + std::to_string(protection.finalDelaySeconds) + " s";
        if (protection.hostsyncSeconds != kDefaultHostsyncSeconds)
            text += ", hostsync " + std::to_string(protection.hostsyncSeconds) + " s";
        text += ")";
    }
    if (settings.source == SourceKind::Nut && !protection.login.empty())
        text += ", login " + protection.login + (protection.mode == ShutdownMode::Off ? " (unused: shutdown off)" : "");
    return text;
}

// ", TLS require, fingerprint 3f2a...", ", TLS try".
std::string DescribeTls(nut::TlsPolicy const& tls) {
    std::string text = std::string(", TLS ") + TlsModeName(tls.mode);
    if (tls.check == nut::TlsCheck::Ca) text += ", CA certificate";
    if (tls.check == nut::TlsCheck::Pin) text += ", fingerprint " + nut::FormatFingerprint(tls.pin);
    if (!tls.serverName.empty()) text += ", certificate name " + tls.serverName;
    return text;
}

std::string DescribeSource(ServiceSettings const& settings) {
    if (settings.source == SourceKind::Nut)
        return "nut " + nut::FormatUpsAddress(settings.ups) + ", poll " + std::to_string(settings.pollMs) + " ms" +
               DescribeTls(settings.tls);
    SimulationSettings const& simulation = settings.simulation;
    std::string text = "simulate ";
    text += simulation.script.empty() ? "--status " + std::to_string(simulation.statusWord)
                                      : "--script " + FormatScript(simulation.script, simulation.scriptStepMs);
    if (simulation.stopDelayMs != 0) text += " --stop-delay-ms " + std::to_string(simulation.stopDelayMs);
    if (simulation.startDelayMs != 0) text += " --start-delay-ms " + std::to_string(simulation.startDelayMs);
    return text;
}

// Only what differs from a new install's.
std::string DescribeEvents(EventSettings const& events) {
    std::string text;
    if (events.notify != NotifyMode::Critical) text += std::string(", notify ") + NotifyModeName(events.notify);
    if (!events.command.empty()) text += ", on event " + events.command;
    return text;
}

}  // namespace

std::string DescribeSettings(ServiceSettings const& settings) {
    return DescribeSource(settings) + DescribeProtection(settings) + DescribeEvents(settings.events);
}

std::string DescribeUnusable(UnusableValue const& value) {
    return "value \"" + value.name + "\"" + (value.refused ? ": " : " ") + value.why;
}

SettingsRead ReadServiceSettings(ServiceSettings& out, char const* keyPath) {
    SettingsRead result;
    ServiceSettings settings;
    UniqueRegistryKey key;
    LONG const status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, key.put());
    if (status != ERROR_SUCCESS) {
        result.keyError = static_cast<unsigned long>(status);
        out = settings;
        return result;
    }
    for (FieldDescriptor const& row : kFields) {
        if (std::optional<UnusableValue> bad = ReadValue(key.get(), row, settings))
            result.unusable.push_back(std::move(*bad));
    }
    // Every other value has a default; which UPS to read has none.
    char const* const source = FindField(SettingsField::Source)->valueName;
    if (::RegQueryValueExA(key.get(), source, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND)
        result.unusable.push_back({source, "is missing", false, std::nullopt});
    for (UnusableValue const& bad : result.unusable)
        result.badValues.push_back(DescribeUnusable(bad) + (bad.fallback ? "; using " + *bad.fallback : ""));
    out = std::move(settings);
    return result;
}

unsigned long WriteServiceSettings(ServiceSettings const& settings, char const* keyPath) {
    UniqueRegistryKey key;
    unsigned long const created = win32::CreateKeyUnderExistingParent(keyPath, KEY_SET_VALUE, nullptr, key);
    if (created != ERROR_SUCCESS) return created;
    for (FieldDescriptor const& row : kFields) {
        LONG const status = WriteValue(key.get(), row, settings);
        if (status != ERROR_SUCCESS) return static_cast<unsigned long>(status);
    }
    return ERROR_SUCCESS;
}

unsigned long DeleteServiceSettings(char const* keyPath) {
    LONG const status = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyPath);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<unsigned long>(status);
}

}  // namespace vandrel
