// When the service shuts Windows down for its UPS, and when it calls that
// off: the policy over scripted readings and a clock of the test's own, and
// the controller's calls into a recording stand-in for Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companions/vandrel-service/ProtectionController.h"
#include "companions/vandrel-service/ShutdownApi.h"
#include "companions/vandrel-service/ShutdownPolicy.h"

namespace {

using vandrel::ProtectionAction;
using vandrel::ProtectionSettings;
using vandrel::ServiceEvent;
using vandrel::ShutdownMode;
using vandrel::ShutdownPolicy;
using vandrel::SourceReading;

SourceReading Ups(char const* status) {
    SourceReading reading;
    reading.answered = true;
    reading.upsStatus = status;
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

TEST(ShutdownPolicy, CriticalOnForcedShutdownOrLowBatteryOnBattery) {
    for (char const* status : {"OB DISCHRG LB", "OL FSD", "FSD"}) {
        ShutdownPolicy policy(Critical());
        EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups(status), 0)) << status;
    }
    ShutdownPolicy policy(Critical());
    for (char const* status : {"OL", "OL LB", "OB DISCHRG", "OBLB"})
        EXPECT_EQ(ProtectionAction::None, Act(policy, Ups(status), 0)) << status;
    EXPECT_EQ("armed (critical, no login)", policy.StatusLine());
    policy.Observe(Ups("OB LB"), 1);
    EXPECT_EQ("initiated (battery low)", policy.StatusLine());
}

TEST(ShutdownPolicy, ASilentServerIsCriticalOnlyAfter15sAndOnlyIfLastOnBattery) {
    ShutdownPolicy online(Critical());
    online.Observe(Ups("OL"), 0);
    EXPECT_EQ(ProtectionAction::None, Act(online, kSilent, 600000));

    ShutdownPolicy policy(Critical());
    policy.Observe(Ups("OB"), 1000);
    EXPECT_EQ(ProtectionAction::None, Act(policy, kSilent, 2000));
    EXPECT_EQ(ProtectionAction::None, Act(policy, kSilent, 16000));
    vandrel::ProtectionStep const lost = policy.Observe(kSilent, 16001);
    EXPECT_EQ(ProtectionAction::Initiate, lost.action);
    EXPECT_EQ("server unreachable while on battery", lost.reason);
}

TEST(ShutdownPolicy, TheOnBatteryLimitCountsFromTheFirstReadingOnBattery) {
    ShutdownPolicy policy(Critical(60));
    EXPECT_EQ("armed (critical, on battery > 60 s, no login)", policy.StatusLine());
    policy.Observe(Ups("OB"), 5000);
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OB"), 65000));
    vandrel::ProtectionStep const step = policy.Observe(Ups("OB DISCHRG"), 65001);
    EXPECT_EQ(ProtectionAction::Initiate, step.action);
    EXPECT_EQ("on battery > 60 s", step.reason);

    ShutdownPolicy unlimited(Critical());
    unlimited.Observe(Ups("OB"), 0);
    EXPECT_EQ(ProtectionAction::None, Act(unlimited, Ups("OB"), 86400000));
}

TEST(ShutdownPolicy, PowerBackWithinTheGraceCancelsAndAfterItDoesNot) {
    ShutdownPolicy policy(Critical());  // 30 s grace
    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 1000));
    policy.Initiated("");
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL LB"), 2000)) << "not back while the battery is low";
    EXPECT_EQ(ProtectionAction::Cancel, Act(policy, Ups("OL CHRG"), 30999));
    EXPECT_EQ("cancelled (power back)", policy.StatusLine());
    // The next outage is protected again.
    EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 40000));
    policy.Initiated("");
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL"), 70000));
}

TEST(ShutdownPolicy, ARefusalIsRetriedWithEachCriticalReadingAndRecordedOnce) {
    ShutdownPolicy policy(Critical());
    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 0));
    std::vector<vandrel::ProtectionEvent> events = policy.Initiated("error 120");
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(ServiceEvent::ShutdownRefused, events[0].event);
    EXPECT_EQ("initiated (battery low), Windows refused: error 120", policy.StatusLine());
    EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 1000));
    EXPECT_TRUE(policy.Initiated("error 120").empty());
    // Nothing for Windows to call off, but the retries end.
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL"), 1500));
    EXPECT_EQ("cancelled (power back)", policy.StatusLine());

    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 2000));
    EXPECT_EQ(1u, policy.Initiated("error 120").size()) << "a new outage's refusal is recorded again";
    EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 3000));
    events = policy.Initiated("");
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(ServiceEvent::ShutdownInitiated, events[0].event);
    // The grace runs from the call Windows took.
    EXPECT_EQ(ProtectionAction::Cancel, Act(policy, Ups("OL"), 32999));
}

TEST(ShutdownPolicy, OffNeverActsAndTurningItOffCallsOffAPendingShutdown) {
    ShutdownPolicy policy;
    for (SourceReading const& reading : {Ups("OB"), Ups("OB LB"), Ups("FSD"), kSilent, Ups("OL")})
        EXPECT_EQ(ProtectionAction::None, Act(policy, reading, 60000));
    EXPECT_EQ("off", policy.StatusLine());

    policy.SetSettings(Critical());
    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 70000));
    policy.Initiated("");
    policy.SetSettings(ProtectionSettings());
    EXPECT_EQ(ProtectionAction::Cancel, Act(policy, Ups("OB LB"), 71000));
}

TEST(ShutdownPolicy, TransitionsAreRecordedOnceEach) {
    ProtectionSettings settings = Critical();
    settings.login = "mon";
    ShutdownPolicy policy(settings);
    SourceReading refused = Ups("OL");
    refused.login = vandrel::LoginState::Refused;
    refused.loginProblem = "ERR ACCESS-DENIED";
    struct Step {
        SourceReading reading;
        std::vector<ServiceEvent> events;
    } const steps[] = {
        {Ups("OL"), {}},
        {refused, {ServiceEvent::LoginRefused}},
        {refused, {}},
        {Ups("OB"), {ServiceEvent::OnBattery}},
        {Ups("OB"), {}},
        {kSilent, {ServiceEvent::CommunicationLost}},
        {kSilent, {}},
        {Ups("OB LB"), {ServiceEvent::CommunicationBack, ServiceEvent::BatteryLow}},
        {Ups("OL"), {ServiceEvent::PowerBack}},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        std::vector<ServiceEvent> seen;
        for (vandrel::ProtectionEvent const& event : policy.Observe(steps[i].reading, i).events)
            seen.push_back(event.event);
        EXPECT_EQ(steps[i].events, seen) << "step " << i;
        if (i == 1) {
            EXPECT_EQ("armed, not logged in: ERR ACCESS-DENIED", policy.StatusLine());
        }
        if (i == 4) {
            EXPECT_EQ("armed (critical, login mon)", policy.StatusLine());
        }
    }
}

// Windows as the controller meets it: takes the shutdown or refuses it.
class RecordingShutdown final : public vandrel::ShutdownApi {
public:
    DWORD InitiateShutdown(DWORD graceSeconds, DWORD flags, DWORD reason) override {
        calls.push_back({graceSeconds, flags, reason});
        return refusal;
    }
    DWORD AbortShutdown() override { return ++aborts, ERROR_SUCCESS; }
    bool HibernateAllowed() override { return false; }
    DWORD Hibernate() override { return ERROR_CALL_NOT_IMPLEMENTED; }
    LANGID UiLanguage() override { return language; }
    std::vector<DWORD> UserSessions() override { return {1, 3}; }
    bool SendSessionMessage(DWORD session, std::wstring const&, std::wstring const& text, DWORD) override {
        messages.push_back({session, text});
        return true;
    }

    struct Call {
        DWORD grace, flags, reason;
    };
    std::vector<Call> calls;
    std::vector<std::pair<DWORD, std::wstring>> messages;
    DWORD refusal = ERROR_SUCCESS;
    LANGID language = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    int aborts = 0;
};

std::string g_line;
void KeepLine(std::string const& line) { g_line = line; }

TEST(ProtectionController, ShutsDownForPowerWithTheGraceThenWarnsEverySession) {
    RecordingShutdown windows;
    ScopedSeam<vandrel::ShutdownApi> seam(windows);
    ProtectionSettings settings = Critical();
    settings.action = vandrel::ShutdownAction::Hibernate;  // not allowed here: shuts down instead
    settings.graceSeconds = 45;
    vandrel::ProtectionController controller(ProtectionSettings(), &KeepLine);
    EXPECT_EQ("off", g_line);
    controller.TakeSettings(settings);
    controller.OnReading(vandrel::ReadingForWord(2));
    ASSERT_EQ(1u, windows.calls.size());
    EXPECT_EQ(45u, windows.calls[0].grace);
    EXPECT_EQ(static_cast<DWORD>(SHUTDOWN_POWEROFF | SHUTDOWN_FORCE_OTHERS), windows.calls[0].flags);
    EXPECT_EQ(static_cast<DWORD>(SHTDN_REASON_MAJOR_POWER | SHTDN_REASON_MINOR_ENVIRONMENT | SHTDN_REASON_FLAG_PLANNED),
              windows.calls[0].reason);
    std::wstring const japanese = vandrel::ShutdownWarning(windows.language, false, 45).text;
    EXPECT_NE(vandrel::ShutdownWarning(LANG_ENGLISH, false, 45).text, japanese);
    EXPECT_NE(std::wstring::npos, japanese.find(L"45"));
    ASSERT_EQ(2u, windows.messages.size());
    EXPECT_EQ(1u, windows.messages[0].first);
    EXPECT_EQ(3u, windows.messages[1].first);
    EXPECT_EQ(japanese, windows.messages[1].second);
    EXPECT_EQ("initiated (battery low)", g_line);
    controller.OnReading(vandrel::ReadingForWord(3));
    EXPECT_EQ(1, windows.aborts);

    // A refused shutdown warns nobody of a shutdown that is not coming.
    windows.refusal = ERROR_CALL_NOT_IMPLEMENTED;
    windows.messages.clear();
    controller.OnReading(vandrel::ReadingForWord(2));
    EXPECT_TRUE(windows.messages.empty());
    EXPECT_EQ(0u, g_line.find("initiated (battery low), Windows refused: ")) << g_line;
}

}  // namespace
