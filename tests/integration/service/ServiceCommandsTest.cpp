// VandrelService's commands against Wine's real Service Control Manager and
// registry: install, status, config on a running service, uninstall, and
// how refusals come out of the executable.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/CommandLine.h"
#include "service/Commands.h"
#include "service/EventLogWriter.h"
#include "service/Registration.h"
#include "service/settings/ServiceSettings.h"
#include "service/settings/StoredPassword.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "tests/rigs/e2e/Process.h"
#include "tests/rigs/e2e/TempFolder.h"
#include "tests/rigs/service/InstalledService.h"

namespace {

using e2e::RunResult;
using service_test::Service;
using VandrelServiceCommands = service_test::InstalledService;

DWORD const kExitFailed = 1;
DWORD const kExitUsage = 2;
DWORD const kChangeTimeoutMs = 15000;
// A port of this test's own that nothing listens on.
char const kNobodyListens[] = "rack@127.0.0.1:34940";

// The Event Log source's message file; empty when there is no registration.
std::string EventMessageFile(DWORD* typesSupported = nullptr) {
    char path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, "EventMessageFile",
                       RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, path, &size) != ERROR_SUCCESS)
        return std::string();
    DWORD dwordSize = sizeof(DWORD);
    if (typesSupported != nullptr)
        ::RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, "TypesSupported", RRF_RT_REG_DWORD, nullptr,
                       typesSupported, &dwordSize);
    return path;
}

TEST_F(VandrelServiceCommands, InstallStatusConfigAndUninstallWorkOnTheRealRegistration) {
    Install("--simulate --status 2");
    vandrel::ServiceSettings stored;
    ASSERT_TRUE(vandrel::ReadServiceSettings(stored).clean());
    EXPECT_EQ(2u, stored.simulation.statusWord);
    DWORD types = 0;
    std::string const thisCopy = e2e::HostPathToWindows(VANDREL_SERVICE_EXE);
    EXPECT_EQ(thisCopy, EventMessageFile(&types)) << "the Event Log's texts are in the executable";
    EXPECT_EQ(static_cast<DWORD>(EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE), types);
    ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, "EventMessageFile", REG_EXPAND_SZ,
                      "C:\\old\\VandrelService.exe", 25);
    RunResult const stopped = Service("status");
    EXPECT_EQ(0u, stopped.exitCode) << stopped.err;
    EXPECT_NE(std::string::npos, stopped.out.find("is stopped; settings: simulate --status 2")) << stopped.out;
    EXPECT_NE(std::string::npos, stopped.out.find("simulated -> word 2")) << stopped.out;
    EXPECT_NE(std::string::npos, stopped.out.find("\nshutdown: off\n")) << stopped.out;

    ASSERT_TRUE(Start()) << ::GetLastError();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(2u, WaitForWord(2).statusWord);
    // The running service follows its key, without a restart.
    EXPECT_EQ(0u, Service("config --script 1,3@200").exitCode);
    EXPECT_EQ(thisCopy, EventMessageFile()) << "the source follows the copy that ran config";
    EXPECT_EQ(1u, WaitForWord(1).statusWord);
    EXPECT_EQ(3u, WaitForWord(3).statusWord);
    RunResult const toNut = Service(std::string("config --nut ") + kNobodyListens);
    EXPECT_EQ(0u, toNut.exitCode) << toNut.err;
    EXPECT_EQ(4u, WaitForWord(4).statusWord) << "no NUT server: no connection";

    RunResult const running = Service("status");
    EXPECT_EQ(kExitFailed, running.exitCode) << "no reading from a server that is not there";
    EXPECT_NE(std::string::npos, running.out.find("is running; settings: nut rack@127.0.0.1:34940")) << running.out;
    EXPECT_NE(std::string::npos, running.out.find("-> word 4\nlink: none\npublished: word 4, charge 0")) << running.out;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(SERVICE_RUNNING));
    // stop and start return once the service is there.
    SERVICE_STATUS now{};
    EXPECT_EQ(0u, Service("stop").exitCode);
    EXPECT_TRUE(::QueryServiceStatus(service_.get(), &now) && now.dwCurrentState == SERVICE_STOPPED);
    EXPECT_EQ(0u, Service("stop").exitCode) << "stopped already";
    EXPECT_EQ(0u, Service("start").exitCode);
    EXPECT_TRUE(::QueryServiceStatus(service_.get(), &now) && now.dwCurrentState == SERVICE_RUNNING);

    service_.reset();
    RunResult const uninstall = Service("uninstall");
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.err;
    EXPECT_FALSE(perimand_test::ReadLikeAgent().found);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), vandrel::ReadServiceSettings(stored).keyError);
    EXPECT_EQ("", EventMessageFile()) << "the Event Log source is gone too";
    RunResult const gone = Service("status");
    EXPECT_EQ(kExitFailed, gone.exitCode);
    EXPECT_EQ("VandrelService: the service \"Vandrel Service\" is not installed\n", gone.err);
    EXPECT_EQ(kExitFailed, Service("uninstall").exitCode);
    EXPECT_EQ(kExitFailed, Service("config --simulate").exitCode);
    EXPECT_EQ(kExitFailed, Service("start").exitCode);
    EXPECT_EQ(0u, Service("stop").exitCode) << "not installed: nothing to stop";
}

// Every value's name and data under HKLM\<path>, its subkeys' included.
void CollectValues(std::string const& path, std::vector<std::string>& out) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key)) << path;
    char name[256];
    BYTE data[8192];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data;
        if (::RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, data, &dataSize) != ERROR_SUCCESS) break;
        out.push_back(std::string(name, nameSize) + '=' + std::string(reinterpret_cast<char*>(data), dataSize));
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(path + "\\" + name);
    }
    ::RegCloseKey(key);
    for (std::string const& subkey : subkeys) CollectValues(subkey, out);
}

// The DACL of HKLM\<path> in SDDL, as the system writes it.
std::string KeyDaclText(char const* path) {
    UniqueRegistryKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL, key.put()) != ERROR_SUCCESS) return "no key";
    DWORD size = 0;
    ::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> descriptor(size);
    char* text = nullptr;
    if (::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.data(), &size) != ERROR_SUCCESS ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.data(), SDDL_REVISION_1,
                                                                DACL_SECURITY_INFORMATION, &text, nullptr))
        return "unreadable";
    UniqueLocalMemory const textOwner(text);
    return text;
}

TEST_F(VandrelServiceCommands, TheLoginsPasswordIsStoredProtectedReadableByTheServiceAndNeverShown) {
    std::string const password = "pa ss\"word#4711";
    Install(std::string("--nut ") + kNobodyListens + " --shutdown critical --login mon --password-stdin",
            password + "\r\nnot read\n");
    std::string clear;
    ASSERT_EQ(static_cast<unsigned long>(ERROR_SUCCESS), vandrel::ReadPassword(clear));
    EXPECT_EQ(password, clear);
    // Wine runs everything as one user, so only the key's DACL can show who
    // else could read the password.
    EXPECT_EQ("D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICI;KR;;;LS)", KeyDaclText(kCredentialsKeyPath));
    std::wstring const wide(password.begin(), password.end());
    std::string const utf16(reinterpret_cast<char const*>(wide.data()), wide.size() * sizeof(wchar_t));
    std::vector<std::string> values;
    CollectValues(kServiceKeyPath, values);
    EXPECT_GT(values.size(), 10u);
    for (std::string const& value : values) {
        EXPECT_EQ(std::string::npos, value.find(password)) << value.substr(0, value.find('='));
        EXPECT_EQ(std::string::npos, value.find(utf16)) << value.substr(0, value.find('='));
    }

    RunResult const status = Service("status");
    EXPECT_NE(std::string::npos, status.out.find(", shutdown critical (shutdown, grace 30 s), login mon\n"))
        << status.out;
    EXPECT_EQ(std::string::npos, (status.out + status.err).find("4711"));

    // A new password by config, from a file Notepad saved: UTF-8 after its
    // byte-order mark, as upsd.users is written. (The NUT peer test logs in
    // with a new one; no password on standard input is the bad-input test's.)
    std::string const utf8 = "p\xC3\xA4ss w\xC3\xB6rd \xE2\x82\xAC";
    RunResult const config = Service("config --password-stdin", "\xEF\xBB\xBF" + utf8 + "\r\n");
    EXPECT_EQ(0u, config.exitCode) << config.err;
    ASSERT_EQ(static_cast<unsigned long>(ERROR_SUCCESS), vandrel::ReadPassword(clear));
    EXPECT_EQ(utf8, clear);

    service_.reset();
    EXPECT_EQ(0u, Service("uninstall").exitCode);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), vandrel::ReadPassword(clear));
}

QUERY_SERVICE_CONFIGA const* Config(SC_HANDLE service, std::vector<char>& buffer) {
    DWORD needed = 0;
    ::QueryServiceConfigA(service, nullptr, 0, &needed);
    buffer.assign(needed, 0);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    return ::QueryServiceConfigA(service, config, needed, &needed) ? config : nullptr;
}

// Gives `path` the Unix mode `mode` through its host path; Wine shows a
// file's DACL by its mode, 0777 granting Everyone full access. Wine starts a
// host program without a handle to wait on: a marker says when it is done.
void SetUnixMode(std::string const& path, std::string const& mode) {
    using UnixFileName = char*(CDECL*)(wchar_t const*);
    auto const unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    ASSERT_NE(nullptr, unixFileName);
    char* const unixPath = unixFileName(std::wstring(path.begin(), path.end()).c_str());
    ASSERT_NE(nullptr, unixPath);
    std::string const host = unixPath;
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    std::string const done = e2e::HostPathToWindows(host + ".mode-set");
    std::string const script = "chmod " + mode + " '" + host + "' && touch '" + host + ".mode-set'";
    e2e::Process const shell = e2e::Process::Start(e2e::HostPathToWindows("/bin/sh"), " -c \"" + script + "\"");
    for (int waited = 0; ::GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 50) {
        ASSERT_LT(waited, 10000) << "chmod " << mode << " " << host;
        ::Sleep(50);
    }
    ::DeleteFileA(done.c_str());
}

TEST_F(VandrelServiceCommands, InstallTakesOverAnOlderRegistrationToStartWithWindowsAsLocalService) {
    // A demand-start registration of a copy in a folder users can write to.
    char const portablePath[] = "C:\\users\\Public\\VandrelService.exe";
    UniqueServiceHandle portable(::CreateServiceA(manager_.get(), kServiceName, kServiceName,
                                                  SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                  SERVICE_ERROR_NORMAL, portablePath,
                                                  nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(portable);
    std::vector<char> buffer;
    // Such a copy may not register itself, nor take the registration over.
    e2e::TempFolder downloads("perimand downloads");
    std::string const copy = downloads.CopyIn(e2e::HostPathToWindows(VANDREL_SERVICE_EXE), "VandrelService.exe");
    std::string const folder = copy.substr(0, copy.rfind('\\'));
    for (std::string const& changeable : {copy, folder}) {
        SetUnixMode(changeable, "0777");
        for (char const* command : {"install --simulate", "config --simulate"}) {
            RunResult const refused = e2e::RunProgram(copy, command, kChangeTimeoutMs);
            EXPECT_EQ(kExitFailed, refused.exitCode) << command;
            EXPECT_EQ(0u, refused.err.find("VandrelService: ordinary users can change \"" + changeable + "\", "))
                << command << ": " << refused.err;
            EXPECT_EQ(refused.err.size() - 1, refused.err.find('\n')) << "one line: " << refused.err;
        }
    }
    QUERY_SERVICE_CONFIGA const* unchanged = Config(portable.get(), buffer);
    ASSERT_NE(nullptr, unchanged);
    EXPECT_STREQ(portablePath, unchanged->lpBinaryPathName);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), unchanged->dwStartType);
    vandrel::ServiceSettings none;
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), vandrel::ReadServiceSettings(none).keyError);
    portable.reset();

    Install("--simulate");
    QUERY_SERVICE_CONFIGA const* config = Config(service_.get(), buffer);
    ASSERT_NE(nullptr, config);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
    EXPECT_STREQ("NT AUTHORITY\\LocalService", config->lpServiceStartName);
    EXPECT_EQ("\"" + e2e::HostPathToWindows(VANDREL_SERVICE_EXE) + "\"", std::string(config->lpBinaryPathName));

    // Nor does it take an event command ordinary users can change.
    RunResult const command = e2e::RunProgram(e2e::HostPathToWindows(VANDREL_SERVICE_EXE),
                                              "config --on-event \"" + copy + "\"", kChangeTimeoutMs);
    EXPECT_EQ(kExitFailed, command.exitCode);
    EXPECT_EQ(0u, command.err.find("VandrelService: ordinary users can change \"" + folder + "\", so the service would "
                                   "run whatever they put there for each event"))
        << command.err;
    vandrel::ServiceSettings stored;
    vandrel::ReadServiceSettings(stored);
    EXPECT_EQ("", stored.events.command);
}

TEST_F(VandrelServiceCommands, SettingsItCannotUseShowNoConnectionAndHeldWritesAreReported) {
    Install("--simulate --status 2");
    ASSERT_TRUE(Start());
    ASSERT_EQ(2u, WaitForWord(2).statusWord);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParametersKeyPath, 0, KEY_SET_VALUE, &key));
    ::RegSetValueExA(key, "Source", 0, REG_SZ, reinterpret_cast<BYTE const*>("bogus"), 6);
    ::RegCloseKey(key);
    EXPECT_EQ(4u, WaitForWord(4).statusWord) << "never a simulation it was not asked for";
    RunResult const bogus = Service("status");
    EXPECT_EQ(kExitFailed, bogus.exitCode);
    EXPECT_NE(std::string::npos, bogus.out.find("unusable setting: value \"Source\": source must be")) << bogus.out;

    EXPECT_EQ(0u, Service("config --simulate").exitCode);
    ASSERT_EQ(2u, WaitForWord(2).statusWord);
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kParametersKeyPath));
    EXPECT_EQ(4u, WaitForWord(4).statusWord) << "a missing key";
    EXPECT_NE(std::string::npos, Service("status").out.find("there is no Parameters key"));

    UniqueKernelHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kStatusMutexName));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex.get(), kChangeTimeoutMs));
    ::Sleep(2500);  // a write waits a second for the mutex
    ::ReleaseMutex(mutex.get());
    RunResult const held = Service("status");
    EXPECT_NE(std::string::npos, held.out.find("failed writes: ")) << held.out;
}

// Settings the registry will not take: the fresh registration would run on
// defaults, so install takes it back (and says why).
class UnwritableSettings final : public vandrel::RegistrationApi {
public:
    BOOL ChangeServiceConfig2(SC_HANDLE service, DWORD infoLevel, void* info) override {
        return ::ChangeServiceConfig2A(service, infoLevel, info);
    }
    unsigned long WriteSettings(vandrel::ServiceSettings const&) override { return ERROR_ACCESS_DENIED; }
};

TEST_F(VandrelServiceCommands, AnInstallWhoseSettingsCannotBeWrittenLeavesNoService) {
    UnwritableSettings unwritable;
    ScopedSeam<vandrel::RegistrationApi> seam(unwritable);
    EXPECT_EQ(vandrel::kExitFailed, vandrel::Install(vandrel::ServiceSettings(), vandrel::PasswordRequest::Keep));
    EXPECT_FALSE(UniqueServiceHandle(::OpenServiceA(manager_.get(), kServiceName, SERVICE_QUERY_STATUS)));
}

TEST_F(VandrelServiceCommands, BadInputGetsOneLineANonZeroExitAndChangesNothing) {
    for (char const* bad : {"install --nut rack@nas:65536", "instal",
                            "install --nut rack@nas --shutdown critical --login mon --password-stdin"}) {
        RunResult const result = Service(bad);
        EXPECT_EQ(kExitUsage, result.exitCode) << bad;
        EXPECT_EQ(0u, result.err.find("VandrelService: ")) << bad << ": " << result.err;
        EXPECT_EQ(result.err.size() - 1, result.err.find('\n')) << "one line: " << result.err;
    }
    EXPECT_FALSE(UniqueServiceHandle(::OpenServiceA(manager_.get(), kServiceName, SERVICE_QUERY_STATUS)))
        << "nothing was installed";

    Install("");  // today's install: a simulation of on line
    RunResult const badConfig = Service("config --poll-ms 100");
    EXPECT_EQ(kExitUsage, badConfig.exitCode);
    EXPECT_EQ(badConfig.err.size() - 1, badConfig.err.find('\n')) << "one line: " << badConfig.err;
    // A file in the ANSI code page would never match upsd.users.
    RunResult const ansi =
        Service("config --nut rack@nas --shutdown critical --login mon --password-stdin", "caf\xE9\n");
    EXPECT_EQ(kExitUsage, ansi.exitCode);
    EXPECT_EQ("VandrelService: the password is not UTF-8 text (save its file as UTF-8)\n", ansi.err);
    vandrel::ServiceSettings stored;
    vandrel::ReadServiceSettings(stored);
    EXPECT_TRUE(stored == vandrel::ServiceSettings());
}

}  // namespace
