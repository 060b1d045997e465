#include "service/CommandLine.h"

#include <windows.h>

#include "nut/NutClient.h"

namespace vandrel {
namespace {

struct KnownOption {
    char const* name;
    SettingsField field;  // None: no value follows
    bool nutOnly;
    bool simulateOnly;
};

KnownOption const kOptions[] = {
    {"--nut", SettingsField::None, true, false},
    {"--simulate", SettingsField::None, false, true},
    {"--poll-ms", SettingsField::PollMs, true, false},
    {"--status", SettingsField::StatusWord, false, true},
    {"--script", SettingsField::Script, false, true},
    {"--stop-delay-ms", SettingsField::StopDelayMs, false, true},
    {"--start-delay-ms", SettingsField::StartDelayMs, false, true},
    {"--shutdown", SettingsField::Shutdown, false, false},
    {"--on-battery-limit", SettingsField::OnBatteryLimit, false, false},
    {"--grace", SettingsField::Grace, false, false},
    {"--action", SettingsField::Action, false, false},
    {"--final-delay", SettingsField::FinalDelay, false, false},
    {"--hostsync", SettingsField::Hostsync, false, false},
    {"--charge-below", SettingsField::ChargeBelow, false, false},
    {"--runtime-below", SettingsField::RuntimeBelow, false, false},
    {"--login", SettingsField::Login, true, false},
    {"--password-stdin", SettingsField::None, true, false},
};

KnownOption const* FindOption(std::string const& name) {
    for (KnownOption const& option : kOptions)
        if (name == option.name) return &option;
    return nullptr;
}

}  // namespace

std::string ParseInvocation(std::vector<std::string> const& args, Invocation& out) {
    Invocation invocation;
    invocation.options = args;
    if (!args.empty() && args.front().compare(0, 2, "--") != 0) {
        std::string const& name = args.front();
        struct Named {
            char const* name;
            Command command;
        };
        Named const commands[] = {{"install", Command::Install}, {"config", Command::Config},
                                  {"status", Command::Status},   {"uninstall", Command::Uninstall},
                                  {"console", Command::Console}, {"run", Command::Run},
                                  {"check", Command::Check},     {"start", Command::Start},
                                  {"stop", Command::Stop},
                                  {"help", Command::Help},       {"/?", Command::Help}};
        bool known = false;
        for (Named const& entry : commands) {
            if (name == entry.name) {
                invocation.command = entry.command;
                known = true;
            }
        }
        if (!known) return "unknown command \"" + name + "\"";
        invocation.options.erase(invocation.options.begin());
    }
    if (invocation.options.size() == 1 && invocation.options.front() == "--help") {
        invocation.command = Command::Help;
        invocation.options.clear();
    }
    if ((invocation.command == Command::Status || invocation.command == Command::Uninstall ||
         invocation.command == Command::Start || invocation.command == Command::Stop ||
         invocation.command == Command::Help) &&
        !invocation.options.empty())
        return "\"" + args.front() + "\" takes no options";
    out = invocation;
    return {};
}

bool NeedsAdministrator(Command command) {
    return command == Command::Install || command == Command::Config || command == Command::Uninstall;
}

std::string AdministratorRefusal(Command command, bool isAdministrator) {
    if (!NeedsAdministrator(command) || isAdministrator) return {};
    char const* const name = command == Command::Install ? "install" : command == Command::Config ? "config" : "uninstall";
    return std::string(name) + " needs administrator rights: run it from an elevated command prompt";
}

std::string ApplySettingsArguments(std::vector<std::string> const& args, ServiceSettings& settings) {
    PasswordRequest password = PasswordRequest::Keep;
    ServiceSettings result = settings;
    std::string const error = ApplySettingsArguments(args, result, password);
    if (!error.empty()) return error;
    if (password == PasswordRequest::FromStdin) return "--password-stdin is an option of install and config";
    settings = result;
    return {};
}

std::string ApplySettingsArguments(std::vector<std::string> const& args, ServiceSettings& settings,
                                   PasswordRequest& password) {
    ServiceSettings result = settings;
    bool sawNut = false, sawSimulate = false, sawStatus = false, sawScript = false;
    bool sawLogin = false, sawPassword = false, sawShutdown = false;
    KnownOption const* nutOption = nullptr;         // the first option only --nut takes
    KnownOption const* simulateOption = nullptr;    // the first option only --simulate takes
    for (size_t i = 0; i < args.size(); ++i) {
        KnownOption const* option = FindOption(args[i]);
        if (option == nullptr) return "unknown option \"" + args[i] + "\"";
        std::string const name = option->name;
        if (name == "--simulate") {
            sawSimulate = true;
            continue;
        }
        if (name == "--password-stdin") {
            sawPassword = true;
            if (nutOption == nullptr) nutOption = option;
            continue;
        }
        if (i + 1 >= args.size()) return "missing value after " + name;
        std::string const& value = args[++i];
        if (name == "--nut") {
            sawNut = true;
            nut::UpsAddress address;
            std::string const error = nut::ParseUpsAddress(value, address);
            if (!error.empty()) return error;
            result.ups = address;
            continue;
        }
        if (option->nutOnly && nutOption == nullptr) nutOption = option;
        if (option->simulateOnly && simulateOption == nullptr) simulateOption = option;
        sawStatus = sawStatus || name == "--status";
        sawScript = sawScript || name == "--script";
        sawLogin = sawLogin || name == "--login";
        sawShutdown = sawShutdown || name == "--shutdown";
        SettingsProblem const problem = SetFieldFromText(result, option->field, value);
        if (problem.failed()) return name + ": " + problem.message;
        // A fixed word replaces a script the settings held.
        if (name == "--status") SetFieldFromText(result, SettingsField::Script, "");
    }
    if (sawNut && sawSimulate) return "--nut and --simulate exclude each other";
    if (sawStatus && sawScript) return "--status and --script exclude each other";
    // The password is never a command-line word: others can read those.
    bool const loginCleared = sawLogin && result.protection.login.empty();
    if (sawLogin && !loginCleared && !sawPassword)
        return "--login needs --password-stdin (the password is read from standard input)";
    if (sawPassword && result.protection.login.empty()) return "--password-stdin needs a login user (--login USER)";
    if (sawNut) result.source = SourceKind::Nut;
    if (sawSimulate) result.source = SourceKind::Simulate;
    if (result.source == SourceKind::Nut && simulateOption != nullptr)
        return std::string(simulateOption->name) + " is an option of --simulate, not of --nut";
    if (result.source == SourceKind::Simulate && nutOption != nullptr)
        return std::string(nutOption->name) + " is an option of --nut, not of --simulate";
    // Asked for now, not merely kept from before (a protection kept beside a
    // simulation waits for the server to come back): the service never lets
    // a simulation shut the PC down, so the pair would be a silent no.
    if (sawShutdown && result.source == SourceKind::Simulate &&
        result.protection.mode == ShutdownMode::Critical)
        return "--shutdown critical needs a real UPS (--nut): a simulation never shuts the PC down";
    SettingsProblem const problem = ValidateSettings(result);
    if (problem.failed()) return problem.message;
    settings = result;
    password = sawPassword ? PasswordRequest::FromStdin : loginCleared ? PasswordRequest::Remove : PasswordRequest::Keep;
    return {};
}

std::string CheckArguments(std::vector<std::string> const& options, std::string& normalised) {
    if (options.empty()) return "check takes --nut ups@host[:port] or other options of install";
    ServiceSettings settings;  // a new install's
    std::string const error = ApplySettingsArguments(options, settings);
    if (!error.empty()) return error;
    normalised = settings.source == SourceKind::Nut ? nut::FormatUpsAddress(settings.ups) : std::string();
    return {};
}

bool DeleteErrorMeansDeleted(unsigned long error) { return error == ERROR_SERVICE_MARKED_FOR_DELETE; }

std::string BuildBinaryPath(std::string const& executable) {
    // Quoted, or a path with blanks would be split by the Service Control Manager.
    return "\"" + executable + "\"";
}

}  // namespace vandrel
