// When the service shuts Windows down for its UPS, and when it calls that
// off: the policy over scripted readings and a clock of the test's own, and
// the controller's calls into a recording stand-in for Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "service/notify/EventCommand.h"
#include "service/notify/PowerNotices.h"
#include "service/protection/ProtectionController.h"
#include "service/protection/ShutdownApi.h"
#include "service/protection/ShutdownPolicy.h"

namespace {

using vandrel::ProtectionAction;
using vandrel::ProtectionSettings;
using vandrel::ServiceEvent;
using vandrel::ShutdownMode;
using vandrel::ShutdownPolicy;
using vandrel::SourceReading;

SourceReading Ups(char const* status, int charge = -1, int runtimeSeconds = -1) {
    SourceReading reading;
    reading.upsStatus = status;
    reading.answered = true;
    reading.charge = charge;
    reading.runtimeSeconds = runtimeSeconds;
    return reading;
}
SourceReading const kSilent;

ProtectionSettings Critical(uint32_t onBatteryLimitSeconds = 0) {
    ProtectionSettings settings;
    settings.mode = ShutdownMode::Critical;
    settings.onBatteryLimitSeconds = onBatteryLimitSeconds;
    return settings;
}

ProtectionAction Act(ShutdownPolicy& policy, SourceReading const& reading, uint64_t nowMs) {
    return policy.Observe(reading, nowMs).action;
}

// Starts a shutdown that Windows takes; returns its count-down.
uint32_t Started(ShutdownPolicy& policy, SourceReading const& reading, uint64_t nowMs) {
    vandrel::ProtectionStep const step = policy.Observe(reading, nowMs);
    EXPECT_EQ(ProtectionAction::Initiate, step.action) << reading.upsStatus;
    policy.Initiated("");
    return step.delaySeconds;
}

TEST(ShutdownPolicy, CriticalIsAForcedShutdownALowBatteryHeldForHostsyncOrSilenceOnBattery) {
    ShutdownPolicy forced(Critical());
    EXPECT_EQ(5u, Started(forced, Ups("OL FSD"), 2000)) << "the final delay, not the grace";
    EXPECT_EQ("initiated (forced shutdown by the UPS's server)", forced.StatusLine());
    EXPECT_EQ(kProtectionShuttingDown, forced.Summary().state);
    EXPECT_EQ(7000u, forced.Summary().dueMs) << "when Windows goes";

    // The primary gets HOSTSYNC to force the shutdown before this PC acts alone.
    ShutdownPolicy low(Critical());
    EXPECT_EQ(ProtectionAction::None, Act(low, Ups("OB DISCHRG LB"), 1000));
    EXPECT_EQ("armed, battery low: waiting up to 15 s for the primary's forced shutdown", low.StatusLine());
    EXPECT_EQ(kProtectionWaitingForPrimary, low.Summary().state);
    EXPECT_EQ(16000u, low.Summary().dueMs) << "when this PC acts alone";
    EXPECT_EQ(ProtectionAction::None, Act(low, Ups("OB DISCHRG LB"), 15999));
    EXPECT_EQ("battery low", low.Observe(Ups("OB DISCHRG LB"), 16000).reason);
    ShutdownPolicy fleeting(Critical());
    fleeting.Observe(Ups("OB LB"), 0);
    fleeting.Observe(Ups("OB"), 10000);  // the low battery went away: its wait starts again
    EXPECT_EQ(ProtectionAction::None, Act(fleeting, Ups("OB LB"), 20000));
    EXPECT_EQ(ProtectionAction::None, Act(fleeting, Ups("OB LB"), 34000));
    // A calibration the primary's administrator started runs the battery down on purpose.
    ShutdownPolicy calibrating(Critical());
    for (uint64_t now : {0, 60000, 600000}) EXPECT_EQ(ProtectionAction::None, Act(calibrating, Ups("OB LB CAL"), now));
    for (char const* status : {"OL", "OL LB", "OBLB"}) EXPECT_EQ(ProtectionAction::None, Act(calibrating, Ups(status), 0));

    // Silence counts on battery only, for three polls and at least 15 s.
    ShutdownPolicy silent(Critical());
    EXPECT_EQ(ProtectionAction::None, Act(silent, kSilent, 600000)) << "silent, but last on line";
    silent.Observe(Ups("OB"), 601000);
    EXPECT_EQ(ProtectionAction::None, Act(silent, kSilent, 616000));
    EXPECT_EQ("server unreachable while on battery", silent.Observe(kSilent, 616001).reason);
    ShutdownPolicy slowPoll(Critical(), 60000);
    slowPoll.Observe(Ups("OB"), 0);
    EXPECT_EQ(ProtectionAction::None, Act(slowPoll, kSilent, 180000)) << "one lost 60 s poll is no emergency";
    EXPECT_EQ(ProtectionAction::Initiate, Act(slowPoll, kSilent, 180001));
}

TEST(ShutdownPolicy, ACriticalShutdownIsNeverCalledOff) {
    ShutdownPolicy policy(Critical());
    Started(policy, Ups("OB LB FSD"), 1000);
    for (SourceReading const& reading : {Ups("OL"), Ups("OL CHRG"), kSilent})
        EXPECT_EQ(ProtectionAction::None, Act(policy, reading, 2000)) << reading.upsStatus;
    policy.SetSettings(ProtectionSettings(), vandrel::kDefaultPollMs);  // off, or settings it cannot use
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL"), 3000));
    EXPECT_EQ("initiated (forced shutdown by the UPS's server)", policy.StatusLine());
    EXPECT_FALSE(policy.CallOffOnStop(false)) << "a restart of the service leaves it too";
}

TEST(ShutdownPolicy, EarlyRulesCountDownTheGraceAndAreCalledOffByThePowerProtectionOffOrAStop) {
    ProtectionSettings settings = Critical(60);
    settings.chargeBelowPercent = 30;
    settings.runtimeBelowSeconds = 300;
    ShutdownPolicy policy(settings);
    EXPECT_EQ("armed (critical, on battery > 60 s, charge < 30 %, runtime < 300 s, no login)", policy.StatusLine());
    // Values a UPS does not report never trip their rule; on line none counts.
    for (SourceReading const& reading : {Ups("OB"), Ups("OB", 50, 900), Ups("OL", 10, 10), Ups("OB", 30, 300)})
        EXPECT_EQ(ProtectionAction::None, Act(policy, reading, 5000)) << reading.charge;
    EXPECT_EQ("charge 29 % < 30 %", policy.Observe(Ups("OB", 29, -1), 6000).reason);
    policy.Initiated("");
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL LB"), 7000)) << "not back while the battery is low";
    EXPECT_EQ(ProtectionAction::Cancel, Act(policy, Ups("OL CHRG"), 35999));
    EXPECT_EQ("cancelled (power back)", policy.StatusLine());

    EXPECT_EQ(30u, Started(policy, Ups("OB", -1, 299), 40000));
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL"), 70000)) << "after the grace Windows is shutting down";

    Started(policy, Ups("OB", 20), 80000);
    policy.SetSettings(ProtectionSettings(), vandrel::kDefaultPollMs);
    EXPECT_EQ(ProtectionAction::Cancel, Act(policy, Ups("OB"), 81000));

    policy.SetSettings(settings, vandrel::kDefaultPollMs);
    Started(policy, Ups("OB", 20), 90000);
    EXPECT_FALSE(policy.CallOffOnStop(true)) << "Windows' own shutdown";
    EXPECT_TRUE(policy.CallOffOnStop(false));
    EXPECT_EQ("cancelled (service stopped)", policy.StatusLine());

    // A critical state over an early count-down replaces it with the final delay.
    Started(policy, Ups("OB", 20), 100000);
    vandrel::ProtectionStep const critical = policy.Observe(Ups("OB FSD"), 101000);
    EXPECT_EQ(ProtectionAction::Initiate, critical.action);
    EXPECT_EQ(5u, critical.delaySeconds);
}

TEST(ShutdownPolicy, ARefusalIsRetriedWithEachReadingAndRecordedOnce) {
    ShutdownPolicy policy(Critical(10));
    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB FSD"), 0));
    EXPECT_EQ(ServiceEvent::ShutdownRefused, policy.Initiated("error 120").at(0).event);
    EXPECT_EQ("initiated (forced shutdown by the UPS's server), Windows refused: error 120", policy.StatusLine());
    EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OL"), 1000)) << "critical: retried with the power back too";
    EXPECT_TRUE(policy.Initiated("error 120").empty());

    ShutdownPolicy early(Critical(10));
    early.Observe(Ups("OB"), 0);
    ASSERT_EQ(ProtectionAction::Initiate, Act(early, Ups("OB"), 10001));
    early.Initiated("error 120");
    EXPECT_EQ(ProtectionAction::Initiate, Act(early, Ups("OB"), 11000));
    EXPECT_EQ(ServiceEvent::ShutdownInitiated, early.Initiated("").at(0).event);
    // The grace runs from the call Windows took.
    EXPECT_EQ(ProtectionAction::Cancel, Act(early, Ups("OL"), 40999));
    // Nothing for Windows to call off, but the retries end.
    early.Observe(Ups("OB"), 60000);
    ASSERT_EQ(ProtectionAction::Initiate, Act(early, Ups("OB"), 70001));
    early.Initiated("error 120");
    EXPECT_EQ(ProtectionAction::None, Act(early, Ups("OL"), 71000));
    EXPECT_EQ("cancelled (power back)", early.StatusLine());
}

TEST(ShutdownPolicy, AResumeRearmsAndRestartsTheTimersThatRanThroughTheSleep) {
    ShutdownPolicy policy(Critical());
    Started(policy, Ups("OB FSD"), 0);
    policy.Resumed(3600000);  // an administrator's shutdown /a, or a sleep
    EXPECT_EQ("armed (critical, no login)", policy.StatusLine());
    EXPECT_EQ(ProtectionAction::None, Act(policy, kSilent, 3610000)) << "silence counts from the resume";
    EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB FSD"), 3611000)) << "still critical: acts again";
}

TEST(ShutdownPolicy, OffNeverActs) {
    ShutdownPolicy policy;
    for (SourceReading const& reading : {Ups("OB"), Ups("OB LB"), Ups("FSD"), kSilent, Ups("OL")})
        EXPECT_EQ(ProtectionAction::None, Act(policy, reading, 60000));
    EXPECT_EQ("off", policy.StatusLine());
}

TEST(ShutdownPolicy, TransitionsAreRecordedOnceEach) {
    ProtectionSettings settings = Critical();
    settings.login = "mon";
    ShutdownPolicy policy(settings);
    SourceReading refused = Ups("OL");
    refused.login = vandrel::LoginState::Refused;
    refused.loginProblem = "ERR ACCESS-DENIED";
    SourceReading pinRefused;
    pinRefused.link.refusal = "fingerprint does not match";
    SourceReading inClear = Ups("OB LB RB");
    inClear.loginSentInClear = true;
    using E = ServiceEvent;
    std::pair<SourceReading, std::vector<E>> const steps[] = {
        {Ups("OL"), {}},          {refused, {E::LoginRefused}},     {refused, {}},
        {Ups("OB"), {E::OnBattery}}, {Ups("OB"), {}},              {kSilent, {E::CommunicationLost}},
        {kSilent, {}},            {pinRefused, {E::LinkRefused}},  {pinRefused, {}},
        {inClear, {E::CommunicationBack, E::BatteryLow, E::ReplaceBattery, E::LoginInClear}},
        {Ups("OB LB RB FSD"), {E::ForcedShutdown}}, {Ups("OL"), {E::PowerBack}},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        std::vector<E> seen;
        for (vandrel::ProtectionEvent const& event : policy.Observe(steps[i].first, i).events) seen.push_back(event.event);
        EXPECT_EQ(steps[i].second, seen) << "step " << i;
        if (i == 1) {
            EXPECT_EQ("armed, not logged in: ERR ACCESS-DENIED", policy.StatusLine());
        }
        if (i == 4) {
            EXPECT_EQ("armed (critical, login mon)", policy.StatusLine());
        }
    }
    // Five minutes of silence are told once more, as upsmon's NOCOMMWARNTIME.
    auto const eventsAt = [&policy](uint64_t nowMs) {
        std::vector<E> seen;
        for (vandrel::ProtectionEvent const& event : policy.Observe(kSilent, nowMs).events) seen.push_back(event.event);
        return seen;
    };
    EXPECT_EQ(std::vector<E>{E::CommunicationLost}, eventsAt(100));
    EXPECT_EQ(std::vector<E>{}, eventsAt(100 + 299999));
    EXPECT_EQ(std::vector<E>{E::NoCommunication}, eventsAt(100 + 300000));
    EXPECT_EQ(std::vector<E>{}, eventsAt(100 + 600000));
}

// A failure of the mains shorter than five seconds is nobody's business;
// one that lasts, or runs the battery low, is told at once.
TEST(PowerNotices, ABlipIsNotToldALastingFailureAndWhatFollowsAre) {
    using E = ServiceEvent;
    vandrel::PowerNotices notices;
    EXPECT_EQ(std::vector<E>{}, notices.Take({E::OnBattery}, 1000));
    EXPECT_EQ(std::vector<E>{}, notices.Take({E::PowerBack}, 4000)) << "a blip, and its end";
    EXPECT_EQ(std::vector<E>{}, notices.Take({E::OnBattery}, 10000));
    EXPECT_EQ(std::vector<E>{}, notices.Take({}, 14999));
    EXPECT_EQ(std::vector<E>{E::OnBattery}, notices.Take({}, 15000));
    EXPECT_EQ(std::vector<E>{E::PowerBack}, notices.Take({E::PowerBack, E::ShutdownCancelled}, 16000));
    EXPECT_EQ((std::vector<E>{E::OnBattery, E::BatteryLow}), notices.Take({E::OnBattery, E::BatteryLow}, 20000));
    EXPECT_EQ((std::vector<E>{E::CommunicationLost, E::ReplaceBattery}),
              notices.Take({E::CommunicationLost, E::ShutdownInitiated, E::ReplaceBattery}, 21000));
    EXPECT_NE(vandrel::NoticeFor(LANG_ENGLISH, E::BatteryLow).text,
              vandrel::NoticeFor(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), E::BatteryLow).text);
}

// What a script written for upsmon's NOTIFYCMD finds.
TEST(EventCommand, AScriptRunsThroughCmdWithTheMessageLastAndNutsVariables) {
    std::vector<std::wstring> const inherited = {L"PATH=C:\\Windows", L"NotifyType=stale", L"UPSNAME=stale"};
    vandrel::EventLaunch const script = vandrel::PlanEventCommand(
        L"C:\\Tools\\on power.CMD", vandrel::NotifyType::LowBatt, L"ups@nas:3493", L"say \"low\" 20 %",
        inherited, L"C:\\Windows\\system32\\cmd.exe");
    EXPECT_EQ(L"C:\\Windows\\system32\\cmd.exe", script.application);
    EXPECT_EQ(L"cmd.exe /d /s /c \"\"C:\\Tools\\on power.CMD\" \"say 'low' 20 %\"\"", script.commandLine);
    EXPECT_EQ((std::vector<std::wstring>{L"PATH=C:\\Windows", L"NOTIFYTYPE=LOWBATT", L"UPSNAME=ups@nas:3493"}),
              script.environment);
    vandrel::EventLaunch const program = vandrel::PlanEventCommand(L"C:\\Tools\\notify.exe", vandrel::NotifyType::Online,
                                                                   L"ups@nas:3493", L"back", {}, L"cmd.exe");
    EXPECT_EQ(L"C:\\Tools\\notify.exe", program.application);
    EXPECT_EQ(L"\"C:\\Tools\\notify.exe\" \"back\"", program.commandLine);
    std::set<std::string> names;
    for (int i = 0; i <= static_cast<int>(vandrel::NotifyType::NoComm); ++i)
        names.insert(vandrel::NotifyTypeName(static_cast<vandrel::NotifyType>(i)));
    EXPECT_EQ((std::set<std::string>{"ONLINE", "ONBATT", "LOWBATT", "FSD", "COMMOK", "COMMBAD", "SHUTDOWN",
                                     "REPLBATT", "NOCOMM"}),
              names);
}

// Windows as the controller meets it: takes the shutdown or refuses it.
class RecordingShutdown final : public vandrel::ShutdownApi {
public:
    DWORD InitiateShutdown(DWORD seconds, DWORD flags, DWORD reason) override {
        calls.push_back({seconds, flags, reason});
        if (answers.empty()) return ERROR_SUCCESS;
        DWORD const answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    DWORD AbortShutdown() override { return ++aborts, ERROR_SUCCESS; }
    bool HibernateAllowed() override { return hibernateAllowed; }
    DWORD Hibernate() override { return ++hibernations, ERROR_GEN_FAILURE; }
    LANGID UiLanguage() override { return language; }
    std::vector<DWORD> UserSessions() override { return {1, 3}; }
    bool SendSessionMessage(DWORD session, std::wstring const&, std::wstring const& text, DWORD) override {
        messages.push_back({session, text});
        return true;
    }

    std::vector<std::array<DWORD, 3>> calls;  // seconds, flags, reason
    std::vector<DWORD> answers;               // to the next calls; then ERROR_SUCCESS
    std::vector<std::pair<DWORD, std::wstring>> messages;
    bool hibernateAllowed = false;
    LANGID language = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    int aborts = 0;
    int hibernations = 0;
};

std::string g_line;
void KeepLine(std::string const& line) { g_line = line; }

vandrel::ServiceSettings Nut(ProtectionSettings const& protection) {
    vandrel::ServiceSettings settings;
    settings.source = vandrel::SourceKind::Nut;
    settings.protection = protection;
    return settings;
}

TEST(ProtectionController, ACriticalStateShutsDownAfterTheFinalDelayAndWarnsEverySession) {
    RecordingShutdown windows;
    ScopedSeam<vandrel::ShutdownApi> seam(windows);
    ProtectionSettings settings = Critical();
    settings.action = vandrel::ShutdownAction::Hibernate;  // not allowed here: shuts down instead
    settings.finalDelaySeconds = 7;
    vandrel::ProtectionController controller(std::nullopt, &KeepLine);
    EXPECT_EQ("off", g_line);
    controller.TakeSettings(Nut(settings));
    controller.OnReading(Ups("OB LB FSD"));
    DWORD const power = SHTDN_REASON_MAJOR_POWER | SHTDN_REASON_MINOR_ENVIRONMENT | SHTDN_REASON_FLAG_PLANNED;
    EXPECT_EQ((decltype(windows.calls){{7, SHUTDOWN_POWEROFF | SHUTDOWN_FORCE_OTHERS, power}}), windows.calls);
    std::wstring const japanese = vandrel::ShutdownWarning(windows.language, true, false, 7).text;
    EXPECT_NE(vandrel::ShutdownWarning(LANG_ENGLISH, true, false, 7).text, japanese);
    EXPECT_NE(std::wstring::npos, japanese.find(L" 7 "));
    using Sent = std::vector<std::pair<DWORD, std::wstring>>;
    EXPECT_EQ((Sent{{1, japanese}, {3, japanese}}), windows.messages);
    EXPECT_EQ("initiated (forced shutdown by the UPS's server)", g_line);
    controller.OnReading(Ups("OL"));
    EXPECT_EQ(0, windows.aborts);
    EXPECT_EQ("initiated (forced shutdown by the UPS's server)", g_line);
}

// "all" tells each session of the power's events; "off" tells nobody, not
// even of the shutdown Windows has taken.
TEST(ProtectionController, TheNotifySettingSaysWhoHearsOfWhat) {
    RecordingShutdown windows;
    ScopedSeam<vandrel::ShutdownApi> seam(windows);
    windows.language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    vandrel::ServiceSettings all = Nut(ProtectionSettings());
    all.events.notify = vandrel::NotifyMode::All;
    vandrel::ProtectionController told(all, &KeepLine);
    told.OnReading(Ups("OL"));
    told.OnReading(Ups("OB LB"));
    std::wstring const onBattery = vandrel::NoticeFor(windows.language, ServiceEvent::OnBattery).text;
    std::wstring const low = vandrel::NoticeFor(windows.language, ServiceEvent::BatteryLow).text;
    using Sent = std::vector<std::pair<DWORD, std::wstring>>;
    EXPECT_EQ((Sent{{1, onBattery}, {3, onBattery}, {1, low}, {3, low}}), windows.messages);

    windows.messages.clear();
    vandrel::ServiceSettings off = Nut(Critical());
    off.events.notify = vandrel::NotifyMode::Off;
    vandrel::ProtectionController silent(off, &KeepLine);
    silent.OnReading(Ups("OB LB FSD"));
    EXPECT_EQ(1u, windows.calls.size()) << "the shutdown itself goes ahead";
    EXPECT_EQ(Sent{}, windows.messages);
}

TEST(ProtectionController, AFailedHibernationShutsDownOnceAStopCallsOffOnlyAnEarlyShutdown) {
    RecordingShutdown windows;
    ScopedSeam<vandrel::ShutdownApi> seam(windows);
    windows.hibernateAllowed = true;
    ProtectionSettings settings = Critical();
    settings.action = vandrel::ShutdownAction::Hibernate;
    settings.finalDelaySeconds = 0;
    vandrel::ProtectionController controller(Nut(settings), &KeepLine);
    for (int i = 0; i < 5; ++i) controller.OnReading(Ups("OB LB FSD"));
    EXPECT_EQ(1, windows.hibernations);
    EXPECT_EQ(1u, windows.calls.size());
    EXPECT_EQ(4u, windows.messages.size()) << "each session warned of the hibernation, then of the shutdown";
    EXPECT_EQ(0u, g_line.find("initiated (forced shutdown by the UPS's server), hibernation failed: ")) << g_line;

    vandrel::ServiceSettings simulated = Nut(Critical(1));
    simulated.source = vandrel::SourceKind::Simulate;
    vandrel::ProtectionController simulation(simulated, &KeepLine);
    simulation.OnReading(Ups("OB LB FSD"));
    EXPECT_EQ("off", g_line) << "a simulation never shuts the PC down";

    // A shutdown Windows has scheduled already (an earlier instance's, say) counts as taken.
    DWORD const scheduled = 1190;  // ERROR_SHUTDOWN_IS_SCHEDULED
    windows.answers = {scheduled, scheduled};
    vandrel::ProtectionController early(Nut(Critical(1)), &KeepLine);
    early.OnReading(Ups("OB"));
    ::Sleep(1100);
    early.OnReading(Ups("OB"));  // on battery > 1 s
    EXPECT_EQ(0u, g_line.find("initiated (on battery > 1 s)")) << g_line;
    early.OnServiceStopping(true);
    EXPECT_EQ(0, windows.aborts) << "Windows' own shutdown";
    early.OnServiceStopping(false);
    EXPECT_EQ(1, windows.aborts);
    EXPECT_EQ("cancelled (service stopped)", g_line);
    early.OnReading(Ups("OB"));
    windows.answers = {scheduled};
    early.OnReading(Ups("OB FSD"));
    EXPECT_EQ(2, windows.aborts) << "the early count-down gives way to the final delay";
    EXPECT_EQ((std::array<DWORD, 2>{30, 5}), (std::array<DWORD, 2>{windows.calls[2][0], windows.calls.back()[0]}));
    early.OnServiceStopping(false);
    EXPECT_EQ(2, windows.aborts) << "a stop never calls off a critical shutdown";
}

}  // namespace
