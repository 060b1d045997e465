// The service's command line: which command, and the settings options of
// install, config and console. Decisions only; main.cpp carries them out.
#pragma once

#include <string>
#include <vector>

#include "service/settings/ServiceSettings.h"

namespace vandrel {

// The exit codes of every command.
int const kExitOk = 0;
int const kExitFailed = 1;
int const kExitUsage = 2;

enum class Command { Help, Install, Config, Status, Uninstall, Console, Run, Check, Start, Stop };

struct Invocation {
    Command command = Command::Run;
    std::vector<std::string> options;  // what follows the command
};

// The first argument names the command unless it starts with "--": the
// Service Control Manager starts the service with no arguments (or, for a
// registration made by an older version, with the options alone). Empty on
// success, else what is wrong.
std::string ParseInvocation(std::vector<std::string> const& args, Invocation& out);

// install, config and uninstall change the Service Control Manager's
// database or the service's key.
bool NeedsAdministrator(Command command);

// Empty when the command may go ahead, else the one line to print.
std::string AdministratorRefusal(Command command, bool isAdministrator);

// What the command line asks of the stored password.
enum class PasswordRequest {
    Keep,       // no word of it
    FromStdin,  // --password-stdin: read one line and store it
    Remove,     // --login "": no login, no password
};

// Applies [--nut ups@host[:port]] [--poll-ms N] [--login USER
// --password-stdin] [--tls off|try|require] [--tls-ca FILE | --tls-pin
// SHA256] [--tls-name NAME] or [--simulate] [--status N | --script W,W@ms]
// [--stop-delay-ms N] [--start-delay-ms N], and either way [--shutdown
// off|critical] [--on-battery-limit S] [--grace S] [--action
// shutdown|hibernate] [--final-delay S] [--hostsync S] [--charge-below
// PERCENT] [--runtime-below S], onto `settings` (what config starts from: the
// service's current settings). The source stays as it was unless --nut or
// --simulate names one; options of the other source are refused. A new
// login user comes with its password. --shutdown critical with --simulate is
// refused. --tls-ca reads its file (its text is what is stored; "" clears
// it), the one thing here that is not a decision. Empty on success, else one line;
// `settings` and `password` are written only on success, and only with
// settings that validate.
std::string ApplySettingsArguments(std::vector<std::string> const& args, ServiceSettings& settings,
                                   PasswordRequest& password);
// The same where no password can be read (console, an old registration's
// options): --password-stdin is refused.
std::string ApplySettingsArguments(std::vector<std::string> const& args, ServiceSettings& settings);

// check [--nut ups@host[:port]] [other options of install]: whether the
// service would take them over `base` (the stored settings on an upgrade, a
// new install's otherwise), and with --nut the address as the service would
// store it ("ups@[::1]:3493"; empty without). The setup asks this rather
// than keep rules of its own. Empty on success, else one line.
std::string CheckArguments(std::vector<std::string> const& options, ServiceSettings base, std::string& normalised);

// Uninstall: a delete that fails because someone deleted it first has
// reached the goal all the same. (A stop that finds it stopped is the
// shared stop-and-wait's to judge.)
bool DeleteErrorMeansDeleted(unsigned long error);

// The command line the Service Control Manager runs: the quoted executable
// path alone, since the settings live in the registry.
std::string BuildBinaryPath(std::string const& executable);

}  // namespace vandrel
