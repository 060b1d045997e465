#include "service/CommandLine.h"

#include <windows.h>

#include "nut/NutClient.h"

namespace vandrel {
namespace {

// The options that set no field of their own; every other option is its
// field's (the settings' table names it).
char const kNutOption[] = "--nut";            // ups@host[:port]: the source and the address
char const kSimulateOption[] = "--simulate";  // the source
char const kPasswordOption[] = "--password-stdin";

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
    std::string nutOption;       // the first option only --nut takes
    std::string simulateOption;  // the first option only --simulate takes
    for (size_t i = 0; i < args.size(); ++i) {
        std::string const& name = args[i];
        if (name == kSimulateOption) {
            sawSimulate = true;
            continue;
        }
        if (name == kPasswordOption) {
            sawPassword = true;
            if (nutOption.empty()) nutOption = name;
            continue;
        }
        bool const isAddress = name == kNutOption;
        FieldDescriptor const* const row = FindFieldByOption(name);
        if (row == nullptr && !isAddress) return "unknown option \"" + name + "\"";
        if (i + 1 >= args.size()) return "missing value after " + name;
        std::string const& value = args[++i];
        if (isAddress) {
            sawNut = true;
            nut::UpsAddress address;
            std::string const error = nut::ParseUpsAddress(value, address);
            if (!error.empty()) return error;
            result.ups = address;
            continue;
        }
        if (row->optionScope == FieldScope::Nut && nutOption.empty()) nutOption = name;
        if (row->optionScope == FieldScope::Simulate && simulateOption.empty()) simulateOption = name;
        sawStatus = sawStatus || row->field == SettingsField::StatusWord;
        sawScript = sawScript || row->field == SettingsField::Script;
        sawLogin = sawLogin || row->field == SettingsField::Login;
        sawShutdown = sawShutdown || row->field == SettingsField::Shutdown;
        SettingsProblem const problem = SetFieldFromText(result, row->field, value);
        if (problem.failed()) return name + ": " + problem.message;
        // A fixed word replaces a script the settings held.
        if (row->field == SettingsField::StatusWord) SetFieldFromText(result, SettingsField::Script, "");
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
    if (result.source == SourceKind::Nut && !simulateOption.empty())
        return simulateOption + " is an option of --simulate, not of --nut";
    if (result.source == SourceKind::Simulate && !nutOption.empty())
        return nutOption + " is an option of --nut, not of --simulate";
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
