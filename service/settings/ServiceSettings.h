// What the monitoring service ("Vandrel Service") reads its UPS state from,
// and where those settings live: the service's own registry key,
//   HKLM\SYSTEM\CurrentControlSet\Services\Vandrel Service\Parameters
// one value per member of ServiceSettings below (each optional; a missing
// one takes its member's default). What each means is said at its member;
// its value's name and type, its bounds, its command-line option and how
// messages name it are its row of the table (FieldDescriptor, and the rows
// in ServiceSettings.cpp), written there once: adding a setting takes its
// member, its name in SettingsField and its row.
// The login's password is not among them: it is kept protected in a key of
// its own (service/settings/StoredPassword.h).
// The service, its command line and the configuration program all go
// through this file, so they agree on names, defaults and bounds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "contract/ServiceContract.h"
#include "nut/NutClient.h"
#include "win32/UniqueHandle.h"

namespace vandrel {

enum class SourceKind { Simulate, Nut };

uint32_t const kDefaultStatusWord = 3;  // on line, battery normal
uint32_t const kDefaultPollMs = 2000;
uint32_t const kMinPollMs = 500;
uint32_t const kMaxPollMs = 60000;
uint32_t const kMaxDelayMs = 600000;
uint32_t const kMinScriptStepMs = 10;
uint32_t const kMaxScriptStepMs = 3600000;
size_t const kMaxScriptWords = 64;
char const kDefaultUpsName[] = "ups";
char const kDefaultHost[] = "localhost";

// The simulation: a fixed word, or a script of words each held stepMs.
struct SimulationSettings {
    uint32_t statusWord = kDefaultStatusWord;  // the fixed word, never 0
    // Non-empty: cycle through these instead ("3,1,2@5000" in the key).
    std::vector<uint32_t> script;
    uint32_t scriptStepMs = 0;
    uint32_t stopDelayMs = 0;   // extra time the simulation stays STOP_PENDING
    uint32_t startDelayMs = 0;  // extra time the simulation stays START_PENDING
};

// Shutting this PC down before the UPS battery runs out, as a NUT secondary.
// Off until someone turns it on. The login's password is not kept here: it
// is stored protected, apart from the other settings.
enum class ShutdownMode { Off, Critical };
enum class ShutdownAction { Shutdown, Hibernate };
uint32_t const kDefaultGraceSeconds = 30;
uint32_t const kMaxGraceSeconds = 600;            // Windows shows a count-down this long at most
uint32_t const kMaxOnBatteryLimitSeconds = 86400;  // a day: no UPS lasts longer
// A critical state leaves only the primary's HOSTSYNC (15 s by default)
// before it cuts the power: the final delay must fit well inside it.
uint32_t const kDefaultFinalDelaySeconds = 5;
uint32_t const kMaxFinalDelaySeconds = 15;
uint32_t const kDefaultHostsyncSeconds = 15;
uint32_t const kMinHostsyncSeconds = 1;
uint32_t const kMaxHostsyncSeconds = 600;
uint32_t const kMaxRuntimeBelowSeconds = 86400;

// The protection's rules come in two kinds. Critical: the UPS is dying and
// its primary is going down (a forced shutdown, a low battery, a server
// gone silent on battery); once started, never called off. Early: this PC's
// own limits (time on battery, charge, runtime), called off when the power
// returns within the grace.
struct ProtectionSettings {
    // Critical: shut this PC down when the UPS says its battery is low (or
    // the primary forces it).
    ShutdownMode mode = ShutdownMode::Off;
    uint32_t onBatteryLimitSeconds = 0;  // also shut down after this long on battery; 0: never
    uint32_t graceSeconds = kDefaultGraceSeconds;  // an early shutdown's count-down
    ShutdownAction action = ShutdownAction::Shutdown;
    std::string login;  // the NUT secondary's user from upsd.users; empty: none
    uint32_t finalDelaySeconds = kDefaultFinalDelaySeconds;  // a critical shutdown's count-down
    uint32_t hostsyncSeconds = kDefaultHostsyncSeconds;      // low battery without FSD: wait this long
    uint32_t chargeBelowPercent = 0;   // also shut down on battery below this charge; 0: never
    uint32_t runtimeBelowSeconds = 0;  // also shut down on battery below this runtime; 0: never
};

bool operator==(ProtectionSettings const& a, ProtectionSettings const& b);

// Who hears of the UPS's events besides the Event Log. Off: nobody, not even
// of a shutdown; Critical: the people logged on are warned of a shutdown;
// All: also of the power failing and coming back, a low battery, the
// server lost and back, a battery to replace.
enum class NotifyMode { Off, Critical, All };

struct EventSettings {
    NotifyMode notify = NotifyMode::Critical;
    // A program run for each event, as NUT's upsmon runs its NOTIFYCMD
    // (an .exe, or a .cmd or .bat through cmd.exe); empty: none.
    std::string command;
};

// TLS when the server offers it, no certificate check.
inline nut::TlsPolicy DefaultTls() {
    nut::TlsPolicy tls;
    tls.mode = nut::TlsMode::Try;
    return tls;
}

struct ServiceSettings {
    SourceKind source = SourceKind::Simulate;
    // The UPS's name on the NUT server, the server's host name or address, its port.
    nut::UpsAddress ups{kDefaultUpsName, kDefaultHost, nut::kDefaultPort};
    uint32_t pollMs = kDefaultPollMs;  // how often the NUT server is asked
    // The link to it: TLS when the server offers it, unless told otherwise;
    // a CA or a fingerprint makes the server prove itself.
    nut::TlsPolicy tls = DefaultTls();
    SimulationSettings simulation;
    ProtectionSettings protection;
    EventSettings events;
};

bool operator==(SimulationSettings const& a, SimulationSettings const& b);
bool operator==(ServiceSettings const& a, ServiceSettings const& b);
inline bool operator!=(ServiceSettings const& a, ServiceSettings const& b) { return !(a == b); }

// Which field a problem is about, so a dialog can put the message beside it.
// Each names one row of the table below, which says everything else.
enum class SettingsField {
    None,
    Source,
    UpsName,
    Host,
    Port,
    PollMs,
    StatusWord,
    Script,
    StopDelayMs,
    StartDelayMs,
    Shutdown,
    OnBatteryLimit,
    Grace,
    Action,
    Login,
    FinalDelay,
    Hostsync,
    ChargeBelow,
    RuntimeBelow,
    Tls,
    TlsCa,
    TlsPin,
    TlsName,
    Notify,
    OnEvent,
};

// Which source a setting goes with, if either.
enum class FieldScope { Either, Nut, Simulate };

struct FieldDescriptor;
// Takes a setting's text (trimmed) into `settings`; empty when taken, else
// the one line that says why not, with `settings` left alone.
using TextParser = std::string (*)(ServiceSettings& settings, std::string const& text, FieldDescriptor const& row);

// One setting, said once. The registry, the command line, ValidateSettings
// and the configuration program all go by its row (ServiceSettings.cpp).
// A number is stored as a REG_DWORD and bounded by the row; text as a REG_SZ
// and judged by a parser of its own.
struct FieldDescriptor {
    SettingsField field;     // what a problem with it names
    char const* valueName;   // in the Parameters key: "PollMs"
    char const* label;       // in messages: "poll interval"
    char const* option;      // on the command line: "--poll-ms"; null when it has none
    FieldScope optionScope;  // the command line refuses its option with the other source
    FieldScope checkScope;   // ValidateSettings checks it only while this source is used
    // A number: where it is kept, and its bounds as messages word them
    // ("poll interval must be 500-60000 ms").
    uint32_t (*number)(ServiceSettings const& settings);  // null for text
    void (*setNumber)(ServiceSettings& settings, uint32_t value);
    uint32_t min;
    uint32_t max;
    char const* unit;  // after the bounds: " ms", " s", " %" or ""
    char const* note;  // after that: " (0: never)" or ""
    // Text: what is stored, and what takes it back.
    std::string (*text)(ServiceSettings const& settings);  // null for a number
    TextParser parse;

    bool IsNumber() const { return number != nullptr; }
    unsigned long RegistryType() const { return IsNumber() ? REG_DWORD : REG_SZ; }
    // What a number holds in new settings (the member's own default).
    uint32_t DefaultNumber() const { return number(ServiceSettings()); }
};

// Every setting, in the key's order.
struct FieldTable {
    FieldDescriptor const* first;
    FieldDescriptor const* last;
    FieldDescriptor const* begin() const { return first; }
    FieldDescriptor const* end() const { return last; }
};
FieldTable SettingsFields();

// The row of `field`, or of the command-line option `option` ("--grace");
// null when there is none.
FieldDescriptor const* FindField(SettingsField field);
FieldDescriptor const* FindFieldByOption(std::string const& option);

// One line for people that names the field ("port must be 1-65535"); empty
// message means no problem.
struct SettingsProblem {
    SettingsField field = SettingsField::None;
    std::string message;

    bool failed() const { return !message.empty(); }
};

// The first problem with the settings the source will use: the NUT fields
// when the source is nut, the simulation's otherwise (after the source's own
// judge: the NUT client's for the address, the script's bounds), then the
// fields of either source, each in the table's order. The poll interval and
// the login are checked either way (they are kept for when the source
// changes back). A certificate check with TLS off is refused: it would
// never be made.
SettingsProblem ValidateSettings(ServiceSettings const& settings);

// Text as typed into a field (the command line, the configuration program's
// edit boxes, a registry string), trimmed of blanks; a number within its
// row's bounds. Sets the field only when the text is valid.
SettingsProblem SetFieldFromText(ServiceSettings& settings, SettingsField field, std::string const& text);

// "nut" / "simulate", and back. False for anything else.
char const* SourceName(SourceKind source);
bool ParseSourceName(std::string const& text, SourceKind& out);

// "3,1,2@5000": the words and the step in ms. Empty string on success, else
// what is wrong; `words` and `stepMs` are written only on success.
std::string ParseScript(std::string const& text, std::vector<uint32_t>& words, uint32_t& stepMs);
std::string FormatScript(std::vector<uint32_t> const& words, uint32_t stepMs);

// "off" / "critical" and "shutdown" / "hibernate", and back (any case).
char const* ShutdownModeName(ShutdownMode mode);
bool ParseShutdownModeName(std::string const& text, ShutdownMode& out);
char const* ShutdownActionName(ShutdownAction action);
bool ParseShutdownActionName(std::string const& text, ShutdownAction& out);

// "off" / "critical" / "all", and back (any case).
char const* NotifyModeName(NotifyMode mode);

// "off" / "try" / "require", and back (any case).
char const* TlsModeName(nut::TlsMode mode);
bool ParseTlsModeName(std::string const& text, nut::TlsMode& out);

// "nut ups@host:3493, poll 2000 ms" / "simulate --status 3" for people,
// then the protection when it is on: ", shutdown critical (shutdown, grace
// 30 s), login mon". The password is never part of the settings.
std::string DescribeSettings(ServiceSettings const& settings);

// A value of the key that the service cannot use.
struct UnusableValue {
    std::string name;  // in the key: "PollMs"
    // How it is stored wrong ("is REG_SZ, not REG_DWORD"), or, when
    // `refused`, what its field's check said of it ("poll interval must be
    // 500-60000 ms").
    std::string why;
    bool refused = false;
    // What the field holds instead, as it would be stored ("2000"); none
    // when nothing stands in (a missing Source).
    std::optional<std::string> fallback;
};

// "value "PollMs": poll interval must be 500-60000 ms", "value "Port" is
// REG_SZ, not REG_DWORD": the value and why, without the fallback.
std::string DescribeUnusable(UnusableValue const& value);

// What reading the key gave.
struct SettingsRead {
    // ERROR_SUCCESS, or why the key could not be opened (ERROR_FILE_NOT_FOUND
    // when there is none); the settings are the defaults then.
    unsigned long keyError = 0;
    // Each value that was present but unusable (wrong type, garbage, out of
    // bounds), and a missing Source; each of those took its default.
    std::vector<UnusableValue> unusable;
    // The same, one line each with the fallback: "value "PollMs": poll
    // interval must be 500-60000 ms; using 2000".
    std::vector<std::string> badValues;

    bool clean() const { return keyError == 0 && unusable.empty(); }
};

// Reads the settings under HKLM\<keyPath>. `out` always ends up complete:
// every value that is missing or bad holds its default. Never throws.
SettingsRead ReadServiceSettings(ServiceSettings& out, char const* keyPath = kParametersKeyPath);

// Creates the key if needed and writes every value. Returns a Win32 error
// code, ERROR_SUCCESS when all were written.
unsigned long WriteServiceSettings(ServiceSettings const& settings, char const* keyPath = kParametersKeyPath);

// Removes the key and everything under it; a missing key is success.
unsigned long DeleteServiceSettings(char const* keyPath = kParametersKeyPath);

}  // namespace vandrel
