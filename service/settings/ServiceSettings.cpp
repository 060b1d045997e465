#include "service/settings/ServiceSettings.h"

#include <windows.h>

#include <string>
#include <utility>

#include "nut/NutProtocol.h"
#include "win32/Arguments.h"
#include "win32/UniqueHandle.h"
#include "win32/Win32Error.h"

namespace vandrel {
namespace {

// Registry strings beyond this are garbage, not settings.
DWORD const kMaxStringBytes = 4096;

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

// Every numeric field's bounds, in one place for the command line, the
// registry and the dialog.
SettingsProblem SetNumber(ServiceSettings& settings, SettingsField field, uint32_t value) {
    switch (field) {
    case SettingsField::Port:
        if (value < 1 || value > 65535) return Problem(field, "port must be 1-65535");
        settings.ups.port = static_cast<uint16_t>(value);
        return {};
    case SettingsField::PollMs:
        if (value < kMinPollMs || value > kMaxPollMs)
            return Problem(field, "poll interval must be " + Range(kMinPollMs, kMaxPollMs) + " ms");
        settings.pollMs = value;
        return {};
    case SettingsField::StatusWord:
        if (value == 0) return Problem(field, "status word must not be 0 (readers take 0 for a stopped service)");
        settings.simulation.statusWord = value;
        return {};
    case SettingsField::StopDelayMs:
        if (value > kMaxDelayMs) return Problem(field, "stop delay must be " + Range(0, kMaxDelayMs) + " ms");
        settings.simulation.stopDelayMs = value;
        return {};
    case SettingsField::StartDelayMs:
        if (value > kMaxDelayMs) return Problem(field, "start delay must be " + Range(0, kMaxDelayMs) + " ms");
        settings.simulation.startDelayMs = value;
        return {};
    case SettingsField::OnBatteryLimit:
        if (value > kMaxOnBatteryLimitSeconds)
            return Problem(field, "on-battery limit must be " + Range(0, kMaxOnBatteryLimitSeconds) + " s (0: never)");
        settings.protection.onBatteryLimitSeconds = value;
        return {};
    case SettingsField::Grace:
        if (value > kMaxGraceSeconds) return Problem(field, "grace must be " + Range(0, kMaxGraceSeconds) + " s");
        settings.protection.graceSeconds = value;
        return {};
    case SettingsField::FinalDelay:
        if (value > kMaxFinalDelaySeconds)
            return Problem(field, "final delay must be " + Range(0, kMaxFinalDelaySeconds) + " s");
        settings.protection.finalDelaySeconds = value;
        return {};
    case SettingsField::Hostsync:
        if (value < kMinHostsyncSeconds || value > kMaxHostsyncSeconds)
            return Problem(field, "hostsync must be " + Range(kMinHostsyncSeconds, kMaxHostsyncSeconds) + " s");
        settings.protection.hostsyncSeconds = value;
        return {};
    case SettingsField::ChargeBelow:
        if (value > 100) return Problem(field, "charge threshold must be 0-100 % (0: never)");
        settings.protection.chargeBelowPercent = value;
        return {};
    case SettingsField::RuntimeBelow:
        if (value > kMaxRuntimeBelowSeconds)
            return Problem(field, "runtime threshold must be " + Range(0, kMaxRuntimeBelowSeconds) + " s (0: never)");
        settings.protection.runtimeBelowSeconds = value;
        return {};
    default:
        return Problem(field, "not a number field");
    }
}

char const* FieldLabel(SettingsField field) {
    switch (field) {
    case SettingsField::Source: return "source";
    case SettingsField::UpsName: return "UPS name";
    case SettingsField::Host: return "host";
    case SettingsField::Port: return "port";
    case SettingsField::PollMs: return "poll interval";
    case SettingsField::StatusWord: return "status word";
    case SettingsField::Script: return "script";
    case SettingsField::StopDelayMs: return "stop delay";
    case SettingsField::StartDelayMs: return "start delay";
    case SettingsField::OnBatteryLimit: return "on-battery limit";
    case SettingsField::Grace: return "grace";
    case SettingsField::FinalDelay: return "final delay";
    case SettingsField::Hostsync: return "hostsync";
    case SettingsField::ChargeBelow: return "charge threshold";
    case SettingsField::RuntimeBelow: return "runtime threshold";
    default: return "value";
    }
}

// ---- the registry ----

struct StoredValue {
    char const* name;
    SettingsField field;
    DWORD type;
};

StoredValue const kValues[] = {
    {"Source", SettingsField::Source, REG_SZ},
    {"UpsName", SettingsField::UpsName, REG_SZ},
    {"Host", SettingsField::Host, REG_SZ},
    {"Port", SettingsField::Port, REG_DWORD},
    {"PollMs", SettingsField::PollMs, REG_DWORD},
    {"StatusWord", SettingsField::StatusWord, REG_DWORD},
    {"Script", SettingsField::Script, REG_SZ},
    {"StopDelayMs", SettingsField::StopDelayMs, REG_DWORD},
    {"StartDelayMs", SettingsField::StartDelayMs, REG_DWORD},
    {"Shutdown", SettingsField::Shutdown, REG_SZ},
    {"OnBatteryLimitSeconds", SettingsField::OnBatteryLimit, REG_DWORD},
    {"GraceSeconds", SettingsField::Grace, REG_DWORD},
    {"Action", SettingsField::Action, REG_SZ},
    {"Login", SettingsField::Login, REG_SZ},
    {"FinalDelaySeconds", SettingsField::FinalDelay, REG_DWORD},
    {"HostsyncSeconds", SettingsField::Hostsync, REG_DWORD},
    {"ChargeBelowPercent", SettingsField::ChargeBelow, REG_DWORD},
    {"RuntimeBelowSeconds", SettingsField::RuntimeBelow, REG_DWORD},
};

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

uint32_t FieldNumber(ServiceSettings const& settings, SettingsField field);

// The value's text form for the field, as the settings now hold it.
std::string FieldText(ServiceSettings const& settings, SettingsField field) {
    switch (field) {
    case SettingsField::Source: return SourceName(settings.source);
    case SettingsField::UpsName: return settings.ups.upsName;
    case SettingsField::Host: return settings.ups.host;
    case SettingsField::Port: return std::to_string(settings.ups.port);
    case SettingsField::PollMs: return std::to_string(settings.pollMs);
    case SettingsField::StatusWord: return std::to_string(settings.simulation.statusWord);
    case SettingsField::Script:
        return FormatScript(settings.simulation.script, settings.simulation.scriptStepMs);
    case SettingsField::StopDelayMs: return std::to_string(settings.simulation.stopDelayMs);
    case SettingsField::StartDelayMs: return std::to_string(settings.simulation.startDelayMs);
    case SettingsField::Shutdown: return ShutdownModeName(settings.protection.mode);
    case SettingsField::OnBatteryLimit: return std::to_string(settings.protection.onBatteryLimitSeconds);
    case SettingsField::Grace: return std::to_string(settings.protection.graceSeconds);
    case SettingsField::Action: return ShutdownActionName(settings.protection.action);
    case SettingsField::Login: return settings.protection.login;
    case SettingsField::FinalDelay:
    case SettingsField::Hostsync:
    case SettingsField::ChargeBelow:
    case SettingsField::RuntimeBelow: return std::to_string(FieldNumber(settings, field));
    default: return {};
    }
}

uint32_t FieldNumber(ServiceSettings const& settings, SettingsField field) {
    switch (field) {
    case SettingsField::Port: return settings.ups.port;
    case SettingsField::PollMs: return settings.pollMs;
    case SettingsField::StatusWord: return settings.simulation.statusWord;
    case SettingsField::StopDelayMs: return settings.simulation.stopDelayMs;
    case SettingsField::StartDelayMs: return settings.simulation.startDelayMs;
    case SettingsField::OnBatteryLimit: return settings.protection.onBatteryLimitSeconds;
    case SettingsField::Grace: return settings.protection.graceSeconds;
    case SettingsField::FinalDelay: return settings.protection.finalDelaySeconds;
    case SettingsField::Hostsync: return settings.protection.hostsyncSeconds;
    case SettingsField::ChargeBelow: return settings.protection.chargeBelowPercent;
    case SettingsField::RuntimeBelow: return settings.protection.runtimeBelowSeconds;
    default: return 0;
    }
}

// Reads one value into `settings`. Empty when it was missing or applied;
// else what is wrong with it (the field then keeps its default).
std::string ReadValue(HKEY key, StoredValue const& stored, ServiceSettings& settings) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, stored.name, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return {};
    std::string const name = std::string("value \"") + stored.name + "\"";
    std::string const fallback = "; using " + FieldText(settings, stored.field);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return name + " cannot be read: " + win32::DescribeWin32Error(static_cast<DWORD>(status)) + fallback;
    if (type != stored.type)
        return name + " is " + TypeName(type) + ", not " + TypeName(stored.type) + fallback;

    if (stored.type == REG_DWORD) {
        DWORD value = 0;
        DWORD valueSize = sizeof value;
        if (size != sizeof value ||
            ::RegQueryValueExA(key, stored.name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &valueSize) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || valueSize != sizeof value)
            return name + " is not a 4-byte REG_DWORD" + fallback;
        SettingsProblem const problem = SetNumber(settings, stored.field, value);
        return problem.failed() ? name + ": " + problem.message + fallback : std::string();
    }

    if (size > kMaxStringBytes) return name + " is longer than " + std::to_string(kMaxStringBytes) + " bytes" + fallback;
    std::string text(size, '\0');
    DWORD textSize = size;
    status = ::RegQueryValueExA(key, stored.name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &textSize);
    // It may have changed between the two calls; take it as garbage then.
    if (status != ERROR_SUCCESS || type != REG_SZ || textSize > size)
        return name + " changed while being read" + fallback;
    text.resize(textSize);
    // The terminator is not guaranteed to be stored, or there may be several.
    while (!text.empty() && text.back() == '\0') text.pop_back();
    if (text.find('\0') != std::string::npos) return name + " holds a NUL character" + fallback;
    SettingsProblem const problem = SetFieldFromText(settings, stored.field, text);
    return problem.failed() ? name + ": " + problem.message + fallback : std::string();
}

LONG WriteValue(HKEY key, StoredValue const& stored, ServiceSettings const& settings) {
    if (stored.type == REG_DWORD) {
        DWORD const value = FieldNumber(settings, stored.field);
        return ::RegSetValueExA(key, stored.name, 0, REG_DWORD, reinterpret_cast<BYTE const*>(&value), sizeof value);
    }
    std::string const text = FieldText(settings, stored.field);
    return ::RegSetValueExA(key, stored.name, 0, REG_SZ, reinterpret_cast<BYTE const*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
}

}  // namespace

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
           a.ups.port == b.ups.port && a.pollMs == b.pollMs && a.simulation == b.simulation &&
           a.protection == b.protection;
}

char const* SourceName(SourceKind source) { return source == SourceKind::Nut ? "nut" : "simulate"; }

// People type registry values by hand: the case does not matter.
bool ParseSourceName(std::string const& text, SourceKind& out) {
    if (EqualsIgnoringAsciiCase(text, "nut")) {
        out = SourceKind::Nut;
        return true;
    }
    if (EqualsIgnoringAsciiCase(text, "simulate")) {
        out = SourceKind::Simulate;
        return true;
    }
    return false;
}

char const* ShutdownModeName(ShutdownMode mode) { return mode == ShutdownMode::Critical ? "critical" : "off"; }

bool ParseShutdownModeName(std::string const& text, ShutdownMode& out) {
    if (EqualsIgnoringAsciiCase(text, "off")) {
        out = ShutdownMode::Off;
        return true;
    }
    if (EqualsIgnoringAsciiCase(text, "critical")) {
        out = ShutdownMode::Critical;
        return true;
    }
    return false;
}

char const* ShutdownActionName(ShutdownAction action) {
    return action == ShutdownAction::Hibernate ? "hibernate" : "shutdown";
}

bool ParseShutdownActionName(std::string const& text, ShutdownAction& out) {
    if (EqualsIgnoringAsciiCase(text, "shutdown")) {
        out = ShutdownAction::Shutdown;
        return true;
    }
    if (EqualsIgnoringAsciiCase(text, "hibernate")) {
        out = ShutdownAction::Hibernate;
        return true;
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
    if (settings.source == SourceKind::Nut) {
        nut::UpsAddress ups = settings.ups;
        SettingsProblem const problem = CheckAddress(ups);
        if (problem.failed()) return problem;
    } else {
        SimulationSettings const& simulation = settings.simulation;
        if (!simulation.script.empty()) {
            if (simulation.script.size() > kMaxScriptWords)
                return Problem(SettingsField::Script,
                               "script has more than " + std::to_string(kMaxScriptWords) + " words");
            if (simulation.scriptStepMs < kMinScriptStepMs || simulation.scriptStepMs > kMaxScriptStepMs)
                return Problem(SettingsField::Script,
                               "script step must be " + Range(kMinScriptStepMs, kMaxScriptStepMs) + " ms");
        }
        for (uint32_t const word : simulation.script)
            if (word == 0) return Problem(SettingsField::Script, "script words must not be 0");
        ServiceSettings probe = settings;
        SettingsProblem problem = SetNumber(probe, SettingsField::StatusWord, simulation.statusWord);
        if (!problem.failed()) problem = SetNumber(probe, SettingsField::StopDelayMs, simulation.stopDelayMs);
        if (!problem.failed()) problem = SetNumber(probe, SettingsField::StartDelayMs, simulation.startDelayMs);
        if (problem.failed()) return problem;
    }
    ServiceSettings probe = settings;
    SettingsProblem problem = SetNumber(probe, SettingsField::PollMs, settings.pollMs);
    // The protection is kept whichever the source: a simulation drives it in tests.
    ProtectionSettings const& protection = settings.protection;
    if (!problem.failed()) problem = SetNumber(probe, SettingsField::OnBatteryLimit, protection.onBatteryLimitSeconds);
    if (!problem.failed()) problem = SetNumber(probe, SettingsField::Grace, protection.graceSeconds);
    if (!problem.failed()) problem = SetNumber(probe, SettingsField::FinalDelay, protection.finalDelaySeconds);
    if (!problem.failed()) problem = SetNumber(probe, SettingsField::Hostsync, protection.hostsyncSeconds);
    if (!problem.failed()) problem = SetNumber(probe, SettingsField::ChargeBelow, protection.chargeBelowPercent);
    if (!problem.failed()) problem = SetNumber(probe, SettingsField::RuntimeBelow, protection.runtimeBelowSeconds);
    if (!problem.failed() && !protection.login.empty())
        problem = SetFieldFromText(probe, SettingsField::Login, protection.login);
    return problem;
}

SettingsProblem SetFieldFromText(ServiceSettings& settings, SettingsField field, std::string const& rawText) {
    std::string const text = Trimmed(rawText);
    switch (field) {
    case SettingsField::Source:
        if (!ParseSourceName(text, settings.source))
            return Problem(field, "source must be \"nut\" or \"simulate\", not \"" + text + "\"");
        return {};
    case SettingsField::UpsName:
    case SettingsField::Host: {
        nut::UpsAddress ups = settings.ups;
        (field == SettingsField::UpsName ? ups.upsName : ups.host) = text;
        // Only this field's verdict counts: the others are set on their own.
        SettingsProblem const problem = CheckAddress(ups, field);
        if (!problem.failed()) settings.ups = ups;
        return problem;
    }
    case SettingsField::Shutdown:
        if (!ParseShutdownModeName(text, settings.protection.mode))
            return Problem(field, "shutdown must be \"off\" or \"critical\", not \"" + text + "\"");
        return {};
    case SettingsField::Action:
        if (!ParseShutdownActionName(text, settings.protection.action))
            return Problem(field, "action must be \"shutdown\" or \"hibernate\", not \"" + text + "\"");
        return {};
    case SettingsField::Login: {
        // Empty: no login, the service only reads.
        std::string const problem = text.empty() ? std::string() : nut::CheckCredential(text, "login user");
        if (!problem.empty()) return Problem(field, problem);
        settings.protection.login = text;
        return {};
    }
    case SettingsField::Script: {
        if (text.empty()) {
            settings.simulation.script.clear();
            settings.simulation.scriptStepMs = 0;
            return {};
        }
        std::string const error = ParseScript(text, settings.simulation.script, settings.simulation.scriptStepMs);
        return error.empty() ? SettingsProblem{} : Problem(field, error);
    }
    case SettingsField::None:
        return Problem(field, "no such field");
    default: {
        uint32_t value = 0;
        if (!win32::ParseUint32(text.c_str(), value)) {
            // Say what the bounds are, as SetNumber would for a number too large.
            ServiceSettings probe;
            SettingsProblem problem = SetNumber(probe, field, UINT32_MAX);
            if (!problem.failed()) problem.message = std::string(FieldLabel(field)) + " must be a whole number";
            problem.field = field;
            return problem;
        }
        return SetNumber(settings, field, value);
    }
    }
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

std::string DescribeSource(ServiceSettings const& settings) {
    if (settings.source == SourceKind::Nut)
        return "nut " + nut::FormatUpsAddress(settings.ups) + ", poll " + std::to_string(settings.pollMs) + " ms";
    SimulationSettings const& simulation = settings.simulation;
    std::string text = "simulate ";
    text += simulation.script.empty() ? "--status " + std::to_string(simulation.statusWord)
                                      : "--script " + FormatScript(simulation.script, simulation.scriptStepMs);
    if (simulation.stopDelayMs != 0) text += " --stop-delay-ms " + std::to_string(simulation.stopDelayMs);
    if (simulation.startDelayMs != 0) text += " --start-delay-ms " + std::to_string(simulation.startDelayMs);
    return text;
}

}  // namespace

std::string DescribeSettings(ServiceSettings const& settings) {
    return DescribeSource(settings) + DescribeProtection(settings);
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
    for (StoredValue const& stored : kValues) {
        std::string problem = ReadValue(key.get(), stored, settings);
        if (!problem.empty()) result.badValues.push_back(std::move(problem));
    }
    // Every other value has a default; which UPS to read has none.
    if (::RegQueryValueExA(key.get(), "Source", nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND)
        result.badValues.push_back("value \"Source\" is missing");
    out = std::move(settings);
    return result;
}

unsigned long CreateKeyUnderExistingParent(char const* keyPath, unsigned long access, SECURITY_ATTRIBUTES* security,
                                           UniqueRegistryKey& out) {
    std::string const path = keyPath;
    size_t const slash = path.rfind('\\');
    if (slash == std::string::npos) return ERROR_INVALID_PARAMETER;
    UniqueRegistryKey parent;
    LONG status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_CREATE_SUB_KEY,
                                  parent.put());
    if (status != ERROR_SUCCESS) return static_cast<unsigned long>(status);
    return static_cast<unsigned long>(::RegCreateKeyExA(parent.get(), path.substr(slash + 1).c_str(), 0, nullptr,
                                                        REG_OPTION_NON_VOLATILE, access, security, out.put(),
                                                        nullptr));
}

unsigned long WriteServiceSettings(ServiceSettings const& settings, char const* keyPath) {
    UniqueRegistryKey key;
    unsigned long const created = CreateKeyUnderExistingParent(keyPath, KEY_SET_VALUE, nullptr, key);
    if (created != ERROR_SUCCESS) return created;
    for (StoredValue const& stored : kValues) {
        LONG const status = WriteValue(key.get(), stored, settings);
        if (status != ERROR_SUCCESS) return static_cast<unsigned long>(status);
    }
    return ERROR_SUCCESS;
}

unsigned long DeleteServiceSettings(char const* keyPath) {
    LONG const status = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyPath);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<unsigned long>(status);
}

}  // namespace vandrel
