#include "service/CommandLine.h"

#include <windows.h>

#include <utility>

#include "nut/NutClient.h"
#include "win32/UniqueHandle.h"
#include "win32/Win32Error.h"

namespace vandrel {
namespace {

// The options that set no field of their own; every other option is its
// field's (the settings' table names it).
char const kNutOption[] = "--nut";            // ups@host[:port]: the source and the address
char const kSimulateOption[] = "--simulate";  // the source
char const kPasswordOption[] = "--password-stdin";

// A CA certificate's PEM is a few KB; a file far larger is not one.
DWORD const kMaxCertificateFileBytes = 64 * 1024;

// --tls-ca names a file; what is stored is its text.
std::string ReadCertificateFile(std::string const& path, std::string& text) {
    UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size))
        return "cannot read \"" + path + "\": " + win32::DescribeWin32Error(::GetLastError());
    if (size.QuadPart > kMaxCertificateFileBytes) return "\"" + path + "\" is too large for a certificate";
    std::string contents(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!contents.empty() &&
        !::ReadFile(file.get(), &contents[0], static_cast<DWORD>(contents.size()), &read, nullptr))
        return "cannot read \"" + path + "\": " + win32::DescribeWin32Error(::GetLastError());
    contents.resize(read);
    text = std::move(contents);
    return {};
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

namespace {

// What a command line named, for the rules between options.
struct OptionsSeen {
    bool nut = false, simulate = false, status = false, script = false;
    bool login = false, password = false, shutdown = false, tlsCa = false, tlsPin = false;
    std::string nutOption;       // the first option only --nut takes
    std::string simulateOption;  // the first option only --simulate takes
};

// Takes each option into `result` by its row of the settings table.
std::string TakeOptions(std::vector<std::string> const& args, ServiceSettings& result, OptionsSeen& seen) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string const& name = args[i];
        if (name == kSimulateOption) {
            seen.simulate = true;
            continue;
        }
        if (name == kPasswordOption) {
            seen.password = true;
            if (seen.nutOption.empty()) seen.nutOption = name;
            continue;
        }
        bool const isAddress = name == kNutOption;
        FieldDescriptor const* const row = FindFieldByOption(name);
        if (row == nullptr && !isAddress) return "unknown option \"" + name + "\"";
        if (i + 1 >= args.size()) return "missing value after " + name;
        std::string value = args[++i];
        if (isAddress) {
            seen.nut = true;
            nut::UpsAddress address;
            std::string const error = nut::ParseUpsAddress(value, address);
            if (!error.empty()) return error;
            result.ups = address;
            continue;
        }
        if (row->optionScope == FieldScope::Nut && seen.nutOption.empty()) seen.nutOption = name;
        if (row->optionScope == FieldScope::Simulate && seen.simulateOption.empty()) seen.simulateOption = name;
        seen.status = seen.status || row->field == SettingsField::StatusWord;
        seen.script = seen.script || row->field == SettingsField::Script;
        seen.login = seen.login || row->field == SettingsField::Login;
        seen.shutdown = seen.shutdown || row->field == SettingsField::Shutdown;
        seen.tlsCa = seen.tlsCa || row->field == SettingsField::TlsCa;
        seen.tlsPin = seen.tlsPin || row->field == SettingsField::TlsPin;
        std::string const file = row->field == SettingsField::TlsCa ? value : std::string();
        if (!file.empty()) {
            std::string const unread = ReadCertificateFile(file, value);
            if (!unread.empty()) return name + ": " + unread;
        }
        SettingsProblem const problem = SetFieldFromText(result, row->field, value);
        if (problem.failed()) return name + ": " + (file.empty() ? "" : "\"" + file + "\": ") + problem.message;
        // A fixed word replaces a script the settings held.
        if (row->field == SettingsField::StatusWord) SetFieldFromText(result, SettingsField::Script, "");
    }
    return {};
}

// The rules between options, once each has been taken; sets the source.
std::string CheckCombination(OptionsSeen const& seen, bool loginCleared, ServiceSettings& result) {
    if (seen.nut && seen.simulate) return "--nut and --simulate exclude each other";
    if (seen.status && seen.script) return "--status and --script exclude each other";
    if (seen.tlsCa && seen.tlsPin) return "--tls-ca and --tls-pin exclude each other: the server proves itself one way";
    // The password is never a command-line word: others can read those.
    if (seen.login && !loginCleared && !seen.password)
        return "--login needs --password-stdin (the password is read from standard input)";
    if (seen.password && result.protection.login.empty()) return "--password-stdin needs a login user (--login USER)";
    if (seen.nut) result.source = SourceKind::Nut;
    if (seen.simulate) result.source = SourceKind::Simulate;
    if (result.source == SourceKind::Nut && !seen.simulateOption.empty())
        return seen.simulateOption + " is an option of --simulate, not of --nut";
    if (result.source == SourceKind::Simulate && !seen.nutOption.empty())
        return seen.nutOption + " is an option of --nut, not of --simulate";
    // Asked for now, not merely kept from before (a protection kept beside a
    // simulation waits for the server to come back): the service never lets
    // a simulation shut the PC down, so the pair would be a silent no.
    if (seen.shutdown && result.source == SourceKind::Simulate && result.protection.mode == ShutdownMode::Critical)
        return "--shutdown critical needs a real UPS (--nut): a simulation never shuts the PC down";
    return {};
}

}  // namespace

std::string ApplySettingsArguments(std::vector<std::string> const& args, ServiceSettings& settings,
                                   PasswordRequest& password) {
    ServiceSettings result = settings;
    OptionsSeen seen;
    std::string error = TakeOptions(args, result, seen);
    if (!error.empty()) return error;
    bool const loginCleared = seen.login && result.protection.login.empty();
    error = CheckCombination(seen, loginCleared, result);
    if (!error.empty()) return error;
    SettingsProblem const problem = ValidateSettings(result);
    if (problem.failed()) return problem.message;
    settings = result;
    password = seen.password ? PasswordRequest::FromStdin
               : loginCleared ? PasswordRequest::Remove
                              : PasswordRequest::Keep;
    return {};
}

std::string CheckArguments(std::vector<std::string> const& options, ServiceSettings base, std::string& normalised) {
    if (options.empty()) return "check takes --nut ups@host[:port] or other options of install";
    std::string const error = ApplySettingsArguments(options, base);
    if (!error.empty()) return error;
    normalised = base.source == SourceKind::Nut ? nut::FormatUpsAddress(base.ups) : std::string();
    return {};
}

bool DeleteErrorMeansDeleted(unsigned long error) { return error == ERROR_SERVICE_MARKED_FOR_DELETE; }

std::string BuildBinaryPath(std::string const& executable) {
    // Quoted, or a path with blanks would be split by the Service Control Manager.
    return "\"" + executable + "\"";
}

}  // namespace vandrel
