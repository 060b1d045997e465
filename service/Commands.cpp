#include "service/Commands.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "contract/StatusBlockReader.h"
#include "nut/NutClient.h"
#include "nut/NutProtocol.h"
#include "service/CommandLine.h"
#include "service/EventLogWriter.h"
#include "service/Registration.h"
#include "service/settings/StoredPassword.h"
#include "service/StateKey.h"
#include "win32/ScopeExit.h"
#include "win32/SecretString.h"
#include "win32/ServiceControl.h"
#include "win32/Win32Error.h"
#include "win32/WritableByUsers.h"

namespace vandrel {
namespace {

// The status command's one round of questions to the NUT server.
unsigned const kQueryTimeoutMs = 5000;

int Fail(char const* what, DWORD error) {
    std::fprintf(stderr, "VandrelService: %s: %s\n", what, win32::DescribeWin32Error(error).c_str());
    return kExitFailed;
}

// Says what a registration step could not do; false when it failed.
bool Registered(RegistrationResult const& result) {
    if (!result.note.empty()) std::fprintf(stderr, "VandrelService: note: %s\n", result.note.c_str());
    if (!result.failure.empty()) std::fprintf(stderr, "VandrelService: %s\n", result.failure.c_str());
    return result.failure.empty();
}

// The path of this executable, and quoted as the Service Control Manager
// runs it.
bool ThisProgramPath(std::string& path, std::string& binaryPath) {
    char module[1024] = {};
    DWORD const length = ::GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) return false;
    path = module;
    binaryPath = BuildBinaryPath(module);
    return true;
}

// The service runs whatever sits at its path, as LocalService, which reads
// the stored password, publishes the state and may shut the PC down: a copy
// that ordinary users can replace (a portable one in Downloads) is never
// registered; nor an event command it would run. kExitOk, or the exit code
// of a refusal it has already reported; `consequence` says what users could
// then do.
int RefuseUserChangeable(std::string const& programPath, char const* consequence) {
    win32::UserChangeable const changeable = win32::FindUserChangeable(programPath);
    if (changeable.error != ERROR_SUCCESS) {
        std::fprintf(stderr, "VandrelService: cannot tell who may change \"%s\": %s\n", changeable.path.c_str(),
                     win32::DescribeWin32Error(changeable.error).c_str());
        return kExitFailed;
    }
    if (changeable.path.empty()) return kExitOk;
    std::fprintf(stderr, "VandrelService: ordinary users can change \"%s\", so %s\n", changeable.path.c_str(),
                 consequence);
    return kExitFailed;
}

int RefuseUserChangeableEventCommand(ServiceSettings const& settings) {
    if (settings.events.command.empty()) return kExitOk;
    return RefuseUserChangeable(settings.events.command,
                                "the service would run whatever they put there for each event; keep the event "
                                "command in a folder only administrators can change");
}

// This program's quoted path for the registration, once it is one users
// cannot change. kExitOk, or the exit code of a failure it has reported.
int RegistrablePath(std::string& binaryPath) {
    std::string path;
    if (!ThisProgramPath(path, binaryPath)) return Fail("cannot get this program's path", ::GetLastError());
    return RefuseUserChangeable(path,
                                "a service registered from there would run whatever they put in its place; use a "
                                "copy in a folder only administrators can change (setup's, in Program Files)");
}

// The service runs without its Event Log source, whose texts the Event
// Viewer then cannot show: worth a note, not a failed install.
void RegisterEventSourceOrNote() {
    unsigned long const error = RegisterEventSourceHere();
    if (error != ERROR_SUCCESS)
        std::fprintf(stderr, "VandrelService: note: cannot register the Event Log source: %s\n",
                     win32::DescribeWin32Error(error).c_str());
}

int NotInstalled() {
    std::fprintf(stderr, "VandrelService: the service \"%s\" is not installed\n", kServiceName);
    return kExitFailed;
}

// Every call to the Service Control Manager goes through its seam.
ServiceControlApi& Scm() { return Seam<ServiceControlApi>::Current(); }

// Says why the manager or the service did not open; kExitOk when both did.
int OpenFailed(ScmResult const& result) {
    if (result.failed == ScmStep::OpenManager) return Fail("cannot open the Service Control Manager", result.error);
    if (result.failed == ScmStep::OpenService)
        return result.error == ERROR_SERVICE_DOES_NOT_EXIST ? NotInstalled() : Fail("cannot open the service", result.error);
    return kExitOk;
}

// The installed service, opened with `access`. Returns kExitOk, or the exit
// code of a failure it has already reported.
int OpenInstalled(DWORD access, OpenedService& opened) {
    return OpenFailed(OpenScmService(Scm(), kServiceName, access, opened));
}

// Says why a stop or a start (`verb`) did not bring the service there.
int NotBrought(ScmResult const& result, std::string const& verb) {
    if (result.failed == ScmStep::Query) return Fail("cannot query the service", result.error);
    if (result.error != ERROR_SERVICE_REQUEST_TIMEOUT)
        return Fail(("cannot " + verb + " the service").c_str(), result.error);
    if (IsServicePending(result.state))
        std::fprintf(stderr, "VandrelService: the service stays pending (state %lu) without progress\n",
                     static_cast<unsigned long>(result.state));
    else
        std::fprintf(stderr, "VandrelService: the service did not %s (state %lu)\n", verb.c_str(),
                     static_cast<unsigned long>(result.state));
    return kExitFailed;
}

// Creates the registration, or brings one made earlier (an older version's,
// a portable copy's) up to date in place; `created` says which. kExitOk, or
// the exit code of a failure it has already reported.
int Register(std::string const& binaryPath, OpenedService& opened, bool& created) {
    ServiceControlApi& scm = Scm();
    SC_HANDLE const manager = scm.OpenSCManager(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    if (manager == nullptr) return Fail("cannot open the Service Control Manager", ::GetLastError());
    opened.manager.reset({manager, &scm});
    DWORD const access = SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS | DELETE;
    SC_HANDLE service =
        scm.CreateService(manager, kServiceName, kServiceName, access, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                          SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr, nullptr, kServiceAccount, "");
    created = service != nullptr;
    if (!created) {
        DWORD const error = ::GetLastError();
        if (error != ERROR_SERVICE_EXISTS) return Fail("cannot create the service", error);
        service = scm.OpenService(manager, kServiceName, access);
        if (service == nullptr) return Fail("cannot open the service", ::GetLastError());
    }
    opened.service.reset({service, &scm});
    if (!created && !Registered(UpdateRegistration(service, binaryPath))) return kExitFailed;
    return kExitOk;
}

char const* StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "starting";
    case SERVICE_STOP_PENDING: return "stopping";
    case SERVICE_RUNNING: return "running";
    case SERVICE_PAUSED: return "paused";
    default: return "in an unusual state";
    }
}

// How the link to the server came out, for the status's "link: " line.
std::string DescribeLink(nut::UpsReading const& reading, bool loginSet) {
    nut::LinkState const& link = reading.link;
    if (!link.refusal.empty()) return "refused: " + link.refusal;
    if (!link.encrypted) {
        // Why is on the reading's line already.
        if (!reading.answered && !reading.failure.empty()) return "none";
        return loginSet ? "not encrypted; the password travels in clear" : "not encrypted";
    }
    std::string const encrypted = "encrypted (" + link.protocol + "), ";
    if (link.verified) return encrypted + "certificate verified (" + link.subject + ")";
    return encrypted + "certificate not checked (" + link.subject + ", SHA-256 fingerprint " + link.fingerprint + ")";
}

// "ups@host:3493 OL CHRG charge=100 -> word 3", then the link; false when
// the server gave no status.
bool PrintNutReading(ServiceSettings const& settings) {
    nut::UpsAddress const& ups = settings.ups;
    nut::UpsReading const reading = nut::QueryOnceWithTls(ups, kQueryTimeoutMs, nullptr, settings.tls);
    std::string line = nut::FormatUpsAddress(ups) + " ";
    if (reading.answered) {
        line += reading.status.empty() ? "(empty status)" : reading.status;
        line += reading.charge >= 0 ? " charge=" + std::to_string(reading.charge) : " charge unknown";
    } else {
        line += reading.failure.empty() ? "no answer" : reading.failure;
    }
    line += " -> word " + std::to_string(reading.statusWord);
    ProtectionSettings const& protection = settings.protection;
    bool const loginSet = protection.mode == ShutdownMode::Critical && !protection.login.empty();
    std::printf("%s\nlink: %s\n", line.c_str(), DescribeLink(reading, loginSet).c_str());
    return reading.answered;
}

// Reads the password a command asks for, before anything changes. kExitOk,
// or the exit code of a refusal it has already reported.
int TakePassword(PasswordRequest request, SecretString& password) {
    if (request != PasswordRequest::FromStdin) return kExitOk;
    std::string problem = ReadPasswordLine(password, nut::kMaxCredentialBytes);
    if (problem.empty()) problem = nut::CheckCredential(password.get(), "password");
    if (problem.empty()) return kExitOk;
    std::fprintf(stderr, "VandrelService: %s\n", problem.c_str());
    return kExitUsage;
}

unsigned long ApplyPassword(PasswordRequest request, SecretString const& password) {
    switch (request) {
    case PasswordRequest::FromStdin: return StorePassword(password.get());
    case PasswordRequest::Remove: return DeleteCredentials();
    default: return ERROR_SUCCESS;
    }
}

void PrintSimulatedReading(SimulationSettings const& simulation) {
    if (simulation.script.empty()) {
        std::printf("simulated -> word %lu\n", static_cast<unsigned long>(simulation.statusWord));
        return;
    }
    std::string words;
    for (uint32_t const word : simulation.script) words += (words.empty() ? "" : ",") + std::to_string(word);
    std::printf("simulated -> words %s, %lu ms each\n", words.c_str(),
                static_cast<unsigned long>(simulation.scriptStepMs));
}

}  // namespace

bool IsAdministrator() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return false;
    BOOL member = FALSE;
    // With UAC the group is deny-only in a filtered token, so this is also
    // the elevation check.
    return ::CheckTokenMembership(nullptr, sid, &member) && member;
}

int Install(ServiceSettings const& settings, PasswordRequest passwordRequest) {
    // A fresh set of settings without a login leaves no password behind.
    if (settings.protection.login.empty()) passwordRequest = PasswordRequest::Remove;
    std::string binaryPath;
    if (int const refused = RegistrablePath(binaryPath)) return refused;
    if (int const refused = RefuseUserChangeableEventCommand(settings)) return refused;
    SecretString password;
    if (int const refused = TakePassword(passwordRequest, password)) return refused;
    OpenedService opened;
    bool created = false;
    if (int const failed = Register(binaryPath, opened, created)) return failed;
    // A fresh registration without its settings, its recovery, its state key
    // or its password would run on defaults or stay down after a crash: take
    // it back unless all of them are written.
    ScopeExit takeBack([&] {
        if (created) Scm().DeleteService(opened.service.get());
    });
    unsigned long const written = Seam<RegistrationApi>::Current().WriteSettings(settings);
    if (written != ERROR_SUCCESS) return Fail("cannot write the service's settings", written);
    if (created && !Registered(ApplyServiceExtras(opened.service.get()))) return kExitFailed;
    unsigned long const stateKey = CreateStateKey();
    if (stateKey != ERROR_SUCCESS) return Fail("cannot create the service's state key", stateKey);
    unsigned long const stored = ApplyPassword(passwordRequest, password);
    if (stored != ERROR_SUCCESS) return Fail("cannot store the login's password", stored);
    takeBack.Release();
    RegisterEventSourceOrNote();
    std::printf("%s \"%s\": %s\n", created ? "installed" : "updated", kServiceName,
                DescribeSettings(settings).c_str());
    return kExitOk;
}

int Configure(std::vector<std::string> const& options) {
    OpenedService opened;
    if (int const failed = OpenInstalled(SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG, opened)) return failed;
    SC_HANDLE const service = opened.service.get();
    ServiceSettings settings;
    SettingsRead const read = ReadServiceSettings(settings);
    PasswordRequest passwordRequest = PasswordRequest::Keep;
    if (!options.empty()) {
        // Every value is written again below, so this mends the key as well.
        for (std::string const& line : read.badValues)
            std::fprintf(stderr, "VandrelService: note: %s\n", line.c_str());
        std::string const bad = ApplySettingsArguments(options, settings, passwordRequest);
        if (!bad.empty()) {
            std::fprintf(stderr, "VandrelService: %s\n", bad.c_str());
            return kExitUsage;
        }
    }
    // The registration follows the copy that configures it: setup runs the
    // installed one, so a service first registered from elsewhere moves there.
    std::string binaryPath;
    if (int const refused = RegistrablePath(binaryPath)) return refused;
    if (int const refused = RefuseUserChangeableEventCommand(settings)) return refused;
    SecretString password;
    if (int const refused = TakePassword(passwordRequest, password)) return refused;
    if (!Registered(UpdateRegistration(service, binaryPath))) return kExitFailed;
    // The password first: a running service reads it when the settings change.
    unsigned long const stored = ApplyPassword(passwordRequest, password);
    if (stored != ERROR_SUCCESS) return Fail("cannot store the login's password", stored);
    // Without options the settings stay exactly as they are, unusable ones
    // included: a guess written back would hide them.
    unsigned long written =
        options.empty() ? ERROR_SUCCESS : Seam<RegistrationApi>::Current().WriteSettings(settings);
    if (written == ERROR_SUCCESS) written = CreateStateKey();
    if (written != ERROR_SUCCESS) return Fail("cannot write the service's settings", written);
    RegisterEventSourceOrNote();

    SERVICE_STATUS status{};
    bool const running = Scm().QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
    std::printf("configured \"%s\": %s%s\n", kServiceName,
                read.clean() || !options.empty() ? DescribeSettings(settings).c_str() : "settings unusable",
                running ? " (the running service takes them at once)" : "");
    return kExitOk;
}

int PrintStatus() {
    OpenedService opened;
    if (int const failed = OpenInstalled(SERVICE_QUERY_STATUS, opened)) return failed;
    SC_HANDLE const service = opened.service.get();
    SERVICE_STATUS status{};
    if (!Scm().QueryServiceStatus(service, &status)) return Fail("cannot query the service", ::GetLastError());

    ServiceSettings settings;
    SettingsRead const read = ReadServiceSettings(settings);
    std::printf("\"%s\" is %s; settings: %s\n", kServiceName, StateName(status.dwCurrentState),
                read.clean() ? DescribeSettings(settings).c_str() : "unusable");
    // The service publishes word 4 for these, as it has no UPS it can trust.
    // Not the default each would fall back to elsewhere: the service uses none.
    for (UnusableValue const& value : read.unusable)
        std::printf("  unusable setting: %s\n", DescribeUnusable(value).c_str());
    if (read.keyError == ERROR_FILE_NOT_FOUND)
        std::printf("  unusable settings: there is no Parameters key\n");
    else if (read.keyError != ERROR_SUCCESS)
        std::printf("  unusable settings: cannot read them: %s\n", win32::DescribeWin32Error(read.keyError).c_str());

    bool reading = read.clean();
    if (!reading)
        std::printf("settings unusable -> word 4\n");
    else if (settings.source == SourceKind::Nut)
        reading = PrintNutReading(settings);
    else
        PrintSimulatedReading(settings.simulation);
    StatusBlockRead const block = ReadStatusBlock();
    StatusSnapshot const& words = block.words;
    if (block.outcome == StatusBlockRead::kRead) {
        std::printf("published: word %lu, charge %lu, write %lu\n", static_cast<unsigned long>(words.statusWord),
                    static_cast<unsigned long>(words.word2), static_cast<unsigned long>(words.word0));
    } else {
        std::printf(block.outcome == StatusBlockRead::kBusy ? "published: the block's mutex is held\n"
                                                             : "published: no status block\n");
    }
    uint32_t failedWrites = 0;
    if (status.dwCurrentState == SERVICE_RUNNING && ReadFailedWrites(failedWrites) && failedWrites != 0)
        std::printf("failed writes: %lu (someone held the block's mutex)\n", static_cast<unsigned long>(failedWrites));
    // The running service's own word, which follows the key only once it
    // has taken a change; a stopped service protects nothing.
    std::string shutdown;
    if (!read.clean() || settings.protection.mode == ShutdownMode::Off)
        shutdown = "off";
    else if (status.dwCurrentState != SERVICE_RUNNING)
        shutdown = "not watching (the service is not running)";
    else if (!ReadShutdownLine(shutdown))
        shutdown = "not reported yet";
    std::printf("shutdown: %s\n", shutdown.c_str());
    std::fflush(stdout);
    return reading ? kExitOk : kExitFailed;
}

int Uninstall() {
    OpenedService opened;
    if (int const failed = OpenInstalled(SERVICE_QUERY_STATUS | SERVICE_STOP | DELETE, opened)) return failed;
    SC_HANDLE const service = opened.service.get();

    ScmResult const stopped = StopAndWait(Scm(), service, kServicePollRule);
    if (!stopped) return NotBrought(stopped, "stop");
    if (!Scm().DeleteService(service)) {
        DWORD const error = ::GetLastError();
        if (!DeleteErrorMeansDeleted(error)) return Fail("cannot delete the service", error);
    }
    unsigned long removed = DeleteServiceSettings();
    if (removed == ERROR_SUCCESS) removed = DeleteServiceSettings(kStateKeyPath);
    if (removed == ERROR_SUCCESS) removed = DeleteCredentials();
    if (removed != ERROR_SUCCESS) return Fail("the service is removed, but not its settings", removed);
    removed = UnregisterEventSource();
    if (removed != ERROR_SUCCESS) return Fail("the service is removed, but not its Event Log source", removed);
    std::printf("uninstalled \"%s\"\n", kServiceName);
    return kExitOk;
}

int Start() {
    OpenedService opened;
    if (int const failed = OpenInstalled(SERVICE_QUERY_STATUS | SERVICE_START, opened)) return failed;
    ScmResult const started = StartAndWait(Scm(), opened.service.get(), kServicePollRule);
    if (!started) return NotBrought(started, "start");
    std::printf("\"%s\" is running\n", kServiceName);
    return kExitOk;
}

int Stop() {
    OpenedService opened;
    ScmResult const found = OpenScmService(Scm(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_STOP, opened);
    // What is not registered does not run: nothing is in the way of whoever asked.
    if (found.failed == ScmStep::OpenService && found.error == ERROR_SERVICE_DOES_NOT_EXIST) {
        std::printf("\"%s\" is not installed: nothing to stop\n", kServiceName);
        return kExitOk;
    }
    if (int const failed = OpenFailed(found)) return failed;
    ScmResult const stopped = StopAndWait(Scm(), opened.service.get(), kServicePollRule);
    if (!stopped) return NotBrought(stopped, "stop");
    std::printf("\"%s\" is stopped\n", kServiceName);
    return kExitOk;
}

}  // namespace vandrel
