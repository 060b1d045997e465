// VandrelService's command line: which command runs, what the options do to
// the settings, and who may run what.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "service/CommandLine.h"
#include "service/EventLogWriter.h"
#include "service/RecentEvents.h"
#include "service/feed/SimulatedUpsSource.h"
#include "service/feed/StatusFeed.h"
#include "service/Registration.h"

namespace {

using vandrel::Command;
using vandrel::ServiceSettings;
using vandrel::SourceKind;
using Args = std::vector<std::string>;

std::string Apply(Args const& args, ServiceSettings& settings) {
    return vandrel::ApplySettingsArguments(args, settings);
}

TEST(ServiceCommandLine, TheFirstWordIsTheCommandUnlessItIsAnOption) {
    vandrel::Invocation invocation;
    ASSERT_EQ("", vandrel::ParseInvocation({}, invocation));
    EXPECT_EQ(Command::Run, invocation.command);
    // An older registration starts the service with its options alone.
    ASSERT_EQ("", vandrel::ParseInvocation({"--status", "2"}, invocation));
    EXPECT_EQ(Command::Run, invocation.command);
    EXPECT_EQ((Args{"--status", "2"}), invocation.options);
    ASSERT_EQ("", vandrel::ParseInvocation({"config", "--poll-ms", "900"}, invocation));
    EXPECT_EQ(Command::Config, invocation.command);
    EXPECT_EQ((Args{"--poll-ms", "900"}), invocation.options);

    EXPECT_EQ("unknown command \"instal\"", vandrel::ParseInvocation({"instal"}, invocation));
    EXPECT_EQ("\"status\" takes no options", vandrel::ParseInvocation({"status", "--nut"}, invocation));
    EXPECT_NE("", vandrel::ParseInvocation({"uninstall", "now"}, invocation));
    // Alone, it brings the registration up to date and keeps the settings.
    EXPECT_EQ("", vandrel::ParseInvocation({"config"}, invocation));
}

TEST(ServiceCommandLine, OnlyCommandsThatChangeTheRegistrationNeedAnAdministrator) {
    for (Command const command : {Command::Install, Command::Config, Command::Uninstall}) {
        EXPECT_EQ("", vandrel::AdministratorRefusal(command, true));
        std::string const refusal = vandrel::AdministratorRefusal(command, false);
        EXPECT_NE(std::string::npos, refusal.find("needs administrator rights")) << refusal;
    }
    for (Command const command : {Command::Status, Command::Console, Command::Run, Command::Help})
        EXPECT_EQ("", vandrel::AdministratorRefusal(command, false));
}

TEST(ServiceCommandLine, NutOptionsSetTheSourceAndTheAddress) {
    ServiceSettings settings;
    ASSERT_EQ("", Apply({"--nut", "rack@nas.lan:3494", "--poll-ms", "1000"}, settings));
    EXPECT_EQ(SourceKind::Nut, settings.source);
    EXPECT_EQ("rack", settings.ups.upsName);
    EXPECT_EQ("nas.lan", settings.ups.host);
    EXPECT_EQ(3494, settings.ups.port);
    EXPECT_EQ(1000u, settings.pollMs);

    ASSERT_EQ("", Apply({"--nut", "rack@nas.lan"}, settings));
    EXPECT_EQ(3493, settings.ups.port);
    EXPECT_EQ(1000u, settings.pollMs) << "what is not given keeps its value";
}

TEST(ServiceCommandLine, BadInputIsOneLineAndLeavesTheSettingsAlone) {
    ServiceSettings const original;
    struct Case {
        Args args;
        char const* says;
    };
    Case const cases[] = {
        {{"--nut", "rack@nas:65536"}, "port"},  // the address's judge is the NUT client's tests
        {{"--nut", "rack@nas", "--poll-ms", "100"}, "poll interval must be 500-60000 ms"},
        {{"--nut", "rack@nas", "--status", "2"}, "--status is an option of --simulate, not of --nut"},
        {{"--simulate", "--poll-ms", "1000"}, "--poll-ms is an option of --nut, not of --simulate"},
        {{"--nut", "rack@nas", "--simulate"}, "--nut and --simulate exclude each other"},
        {{"--status", "2", "--script", "3,1@500"}, "--status and --script exclude each other"},
        {{"--status", "0"}, "must not be 0"},
        {{"--status"}, "missing value after --status"},
        {{"--verbose"}, "unknown option \"--verbose\""},
        {{"--nut", "rack@nas", "--login", "mon"}, "--login needs --password-stdin"},
        {{"--nut", "rack@nas", "--password-stdin"}, "--password-stdin needs a login user"},
        {{"--simulate", "--login", "mon", "--password-stdin"}, "--login is an option of --nut, not of --simulate"},
        {{"--nut", "rack@nas", "--login", "mon\tx", "--password-stdin"}, "the login user may not contain control"},
        {{"--shutdown", "always"}, "--shutdown: shutdown must be \"off\" or \"critical\", not \"always\""},
        {{"--action", "sleep"}, "action must be \"shutdown\" or \"hibernate\""},
        {{"--grace", "601"}, "grace must be 0-600 s"},
        {{"--on-battery-limit", "86401"}, "on-battery limit must be 0-86400 s (0: never)"},
        {{"--final-delay", "16"}, "final delay must be 0-15 s"},
        {{"--simulate", "--shutdown", "critical"}, "--shutdown critical needs a real UPS (--nut)"},
        {{"--nut", "rack@nas", "--tls", "always"}, "--tls: TLS must be \"off\", \"try\" or \"require\""},
        {{"--nut", "rack@nas", "--tls-pin", "ab:cd"}, "--tls-pin: the fingerprint must be 64 hex digits"},
        {{"--nut", "rack@nas", "--tls-ca", "no such.pem"}, "--tls-ca: cannot read \"no such.pem\""},
        {{"--nut", "rack@nas", "--tls-ca", "", "--tls-pin", std::string(64, 'a')}, "--tls-ca and --tls-pin exclude"},
        {{"--nut", "rack@nas", "--tls", "off", "--tls-pin", std::string(64, 'a')}, "TLS is off, so the server's"},
        {{"--simulate", "--tls", "require"}, "--tls is an option of --nut, not of --simulate"},
        {{"--notify", "loud"}, "--notify: notify must be \"off\", \"critical\" or \"all\""},
        {{"--on-event", "notify.cmd"}, "event command must be a full path"},
        {{"--on-event", "C:\\Tools\\notify.ps1"}, "event command must be an .exe, .cmd or .bat file"},
    };
    for (Case const& c : cases) {
        ServiceSettings settings;
        std::string const error = Apply(c.args, settings);
        EXPECT_NE(std::string::npos, error.find(c.says)) << c.args.front() << ": " << error;
        EXPECT_EQ(std::string::npos, error.find('\n')) << error;
        EXPECT_TRUE(settings == original) << c.args.front();
    }
}

TEST(ServiceCommandLine, ProtectionOptionsAndALoginWhosePasswordComesFromStandardInput) {
    ServiceSettings settings;
    vandrel::PasswordRequest password = vandrel::PasswordRequest::Keep;
    ASSERT_EQ("", vandrel::ApplySettingsArguments({"--nut", "rack@nas", "--shutdown", "Critical", "--grace", "60",
                                                   "--action", "hibernate", "--on-battery-limit", "300", "--login",
                                                   "mon", "--password-stdin", "--charge-below", "30", "--runtime-below",
                                                   "120", "--final-delay", "10", "--hostsync", "30"},
                                                  settings, password));
    EXPECT_EQ(vandrel::PasswordRequest::FromStdin, password);
    EXPECT_EQ("nut rack@nas:3493, poll 2000 ms, TLS try, shutdown critical (hibernate, grace 60 s, or after 300 s on battery, "
              "or below 30 % charge, or below 120 s runtime, final delay 10 s, hostsync 30 s), login mon",
              vandrel::DescribeSettings(settings));
    // A new password alone, for the user the service has.
    ASSERT_EQ("", vandrel::ApplySettingsArguments({"--password-stdin"}, settings, password));
    EXPECT_EQ(vandrel::PasswordRequest::FromStdin, password);
    ASSERT_EQ("", vandrel::ApplySettingsArguments({"--grace", "0"}, settings, password));
    EXPECT_EQ(vandrel::PasswordRequest::Keep, password);
    ASSERT_EQ("", vandrel::ApplySettingsArguments({"--login", ""}, settings, password));
    EXPECT_EQ(vandrel::PasswordRequest::Remove, password);
    EXPECT_EQ("", settings.protection.login);
    // Where nothing reads standard input.
    EXPECT_EQ("--password-stdin is an option of install and config",
              Apply({"--login", "mon", "--password-stdin"}, settings));
}

// The setup asks this instead of keeping rules of its own.
TEST(ServiceCommandLine, CheckGivesTheAddressAsStoredOrOneLineWhyNot) {
    vandrel::Invocation invocation;
    ASSERT_EQ("", vandrel::ParseInvocation({"check", "--nut", "ups@[::1]"}, invocation));
    EXPECT_EQ(Command::Check, invocation.command);
    std::string address;
    ServiceSettings const fresh;
    ASSERT_EQ("", vandrel::CheckArguments(invocation.options, fresh, address));
    EXPECT_EQ("ups@[::1]:3493", address);
    EXPECT_NE("", vandrel::CheckArguments({"--nut", "test#ups@nas"}, fresh, address));
    EXPECT_NE("", vandrel::CheckArguments({}, fresh, address));
    // The setup's thresholds, judged as install would.
    ASSERT_EQ("", vandrel::CheckArguments({"--charge-below", "40", "--runtime-below", "600"}, fresh, address));
    EXPECT_EQ("", address);
    EXPECT_NE("", vandrel::CheckArguments({"--charge-below", "101"}, fresh, address));
    // An upgrade's options go over what is stored, as config will take them.
    ServiceSettings pinned;
    pinned.source = SourceKind::Nut;
    pinned.tls.check = nut::TlsCheck::Pin;
    pinned.tls.pin.fill(0xab);
    EXPECT_EQ("", vandrel::CheckArguments({"--nut", "ups@nas", "--tls", "off"}, fresh, address));
    EXPECT_NE("", vandrel::CheckArguments({"--nut", "ups@nas", "--tls", "off"}, pinned, address));
}

TEST(ServiceCommandLine, TodaysInstallOptionsStillMeanASimulation) {
    ServiceSettings settings;
    settings.source = SourceKind::Nut;  // as config finds it: switching back needs --simulate
    ASSERT_NE("", Apply({"--status", "2"}, settings));
    ASSERT_EQ("", Apply({"--simulate", "--script", "3,1,2@500", "--stop-delay-ms", "10"}, settings));
    EXPECT_EQ(SourceKind::Simulate, settings.source);
    EXPECT_EQ((std::vector<uint32_t>{3, 1, 2}), settings.simulation.script);

    ServiceSettings fresh;
    ASSERT_EQ("", Apply({"--status", "2", "--start-delay-ms", "5"}, fresh));
    EXPECT_EQ(SourceKind::Simulate, fresh.source);
    EXPECT_EQ(2u, fresh.simulation.statusWord);
    // A fixed word replaces a script the service had.
    ASSERT_EQ("", Apply({"--status", "1"}, settings));
    EXPECT_TRUE(settings.simulation.script.empty());
}

TEST(ServiceUninstall, AServiceAlreadyMarkedForDeleteIsNoFailure) {
    EXPECT_TRUE(vandrel::DeleteErrorMeansDeleted(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_FALSE(vandrel::DeleteErrorMeansDeleted(ERROR_ACCESS_DENIED));
}

// Wine accepts recovery actions and forgets them, and knows no required
// privileges: what the registration asks for is checked here.
class RecordingRegistration final : public vandrel::RegistrationApi {
public:
    BOOL ChangeServiceConfig2(SC_HANDLE, DWORD infoLevel, void* info) override {
        if (infoLevel == SERVICE_CONFIG_FAILURE_ACTIONS) {
            auto const* failure = static_cast<SERVICE_FAILURE_ACTIONSA const*>(info);
            resetSeconds = failure->dwResetPeriod;
            for (DWORD i = 0; i < failure->cActions; ++i) {
                EXPECT_EQ(SC_ACTION_RESTART, failure->lpsaActions[i].Type);
                restartDelaysMs.push_back(failure->lpsaActions[i].Delay);
            }
        }
        if (infoLevel == SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO) {
            for (char const* p = static_cast<SERVICE_REQUIRED_PRIVILEGES_INFOA*>(info)->pmszRequiredPrivileges; *p;
                 p += std::string(p).size() + 1)
                privileges.push_back(p);
            return refusePrivileges ? FALSE : TRUE;
        }
        return TRUE;
    }
    unsigned long WriteSettings(vandrel::ServiceSettings const&) override { return ERROR_SUCCESS; }
    bool refusePrivileges = false;
    DWORD resetSeconds = 0;
    std::vector<DWORD> restartDelaysMs;
    std::vector<std::string> privileges;
};

TEST(ServiceRegistration, RestartsAfterFailuresAndKeepsOnlyThePrivilegesItNeeds) {
    RecordingRegistration recorder;
    ScopedSeam<vandrel::RegistrationApi> seam(recorder);
    vandrel::RegistrationResult const result = vandrel::ApplyServiceExtras(nullptr);
    EXPECT_EQ("", result.failure + result.note);
    EXPECT_EQ((std::vector<DWORD>{5000, 30000, 60000}), recorder.restartDelaysMs);
    EXPECT_EQ(86400u, recorder.resetSeconds);
    EXPECT_EQ((std::vector<std::string>{"SeCreateGlobalPrivilege", "SeShutdownPrivilege", "SeChangeNotifyPrivilege"}),
              recorder.privileges);

    // A system that cannot narrow them still gets a working service.
    recorder.refusePrivileges = true;
    vandrel::RegistrationResult const refused = vandrel::ApplyServiceExtras(nullptr);
    EXPECT_EQ("", refused.failure);
    EXPECT_NE(std::string::npos, refused.note.find("privileges")) << refused.note;
}

// Two events sharing a message would say the wrong thing in the log.
TEST(ServiceEvents, EachEventHasAMessageOfItsOwn) {
    std::set<unsigned long> ids;
    std::set<std::wstring> kinds;
    for (int i = 0; i <= static_cast<int>(vandrel::ServiceEvent::EventCommandFailed); ++i) {
        ids.insert(vandrel::RecordOf(static_cast<vandrel::ServiceEvent>(i)).messageId);
        kinds.insert(vandrel::EventKindName(static_cast<vandrel::ServiceEvent>(i)));
    }
    EXPECT_EQ(18u, ids.size());
    EXPECT_EQ(18u, kinds.size());
    EXPECT_EQ(0u, kinds.count(L"Unknown"));
}

// The newest twenty, one line each, whatever the detail held.
TEST(ServiceEvents, TheRecentListKeepsTheNewestTwentyOneLineEach) {
    std::vector<std::wstring> entries;
    for (int i = 0; i < 25; ++i)
        entries = vandrel::WithNewest(entries, vandrel::FormatRecentEvent({L"t" + std::to_wstring(i), L"OnBattery",
                                                                          L"line\tone\r\nline two"}));
    ASSERT_EQ(vandrel::kMaxRecentEvents, entries.size());
    std::vector<std::wstring> const stored = vandrel::SplitMultiString(vandrel::JoinMultiString(entries));
    ASSERT_EQ(entries, stored);
    vandrel::RecentEvent newest;
    ASSERT_TRUE(vandrel::ParseRecentEvent(stored.front(), newest));
    EXPECT_EQ(L"t24", newest.when);
    EXPECT_EQ(L"line one  line two", newest.text);
    vandrel::RecentEvent oldest;
    ASSERT_TRUE(vandrel::ParseRecentEvent(stored.back(), oldest));
    EXPECT_EQ(L"t5", oldest.when);
    EXPECT_FALSE(vandrel::ParseRecentEvent(L"no tabs at all", oldest));
}

vandrel::SourceReading ChargeOnly(uint32_t charge) {
    vandrel::SourceReading reading;
    reading.statusWord = 0;
    reading.charge = charge;
    return reading;
}

TEST(StatusFeed, ARunningServiceNeverPublishesStatusWordZero) {
    StatusSnapshot const words = vandrel::WordsFor(ChargeOnly(80), 7);
    EXPECT_EQ(4u, words.statusWord);
    EXPECT_EQ(80u, words.word2);
    EXPECT_EQ(7u, words.word0);
    EXPECT_EQ(2u, vandrel::WordsFor(vandrel::ReadingForWord(2), 8).statusWord);
}

}  // namespace
