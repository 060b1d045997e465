// When the service shuts Windows down for its UPS, and when it calls that
// off: the policy over scripted readings and a clock of the test's own, and
// the controller's calls into a recording stand-in for Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
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

SourceReading Ups(char const* status) { return {0, 0, status, true, {}, {}}; }
SourceReading const kSilent;

ProtectionSettings Critical(uint32_t onBatteryLimitSeconds = 0) {
    return {ShutdownMode::Critical, onBatteryLimitSeconds, vandrel::kDefaultGraceSeconds, {}, {}};
}

ProtectionAction Act(ShutdownPolicy& policy, SourceReading const& reading, uint64_t nowMs) {
    return policy.Observe(reading, nowMs).action;
}

TEST(ShutdownPolicy, CriticalOnForcedShutdownLowBatteryA15sSilenceOnBatteryOrTheLimit) {
    for (char const* status : {"OB DISCHRG LB", "OL FSD"}) {
        ShutdownPolicy policy(Critical());
        EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups(status), 0)) << status;
        EXPECT_EQ(0u, policy.StatusLine().find("initiated (")) << policy.StatusLine();
    }
    ShutdownPolicy policy(Critical());
    for (char const* status : {"OL", "OL LB", "OBLB"}) EXPECT_EQ(ProtectionAction::None, Act(policy, Ups(status), 0));
    EXPECT_EQ(ProtectionAction::None, Act(policy, kSilent, 600000)) << "silent, but last on line";

    policy.Observe(Ups("OB"), 1000);
    EXPECT_EQ(ProtectionAction::None, Act(policy, kSilent, 16000));
    EXPECT_EQ("server unreachable while on battery", policy.Observe(kSilent, 16001).reason);

    ShutdownPolicy limited(Critical(60));
    EXPECT_EQ("armed (critical, on battery > 60 s, no login)", limited.StatusLine());
    limited.Observe(Ups("OB"), 5000);
    EXPECT_EQ(ProtectionAction::None, Act(limited, Ups("OB"), 65000));
    EXPECT_EQ("on battery > 60 s", limited.Observe(Ups("OB DISCHRG"), 65001).reason);
}

TEST(ShutdownPolicy, PowerBackWithinTheGraceCancelsAndAfterItDoesNot) {
    ShutdownPolicy policy(Critical());  // 30 s grace
    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 1000));
    policy.Initiated("");
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL LB"), 2000)) << "not back while the battery is low";
    EXPECT_EQ(ProtectionAction::Cancel, Act(policy, Ups("OL CHRG"), 30999));
    EXPECT_EQ("cancelled (power back)", policy.StatusLine());
    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 40000)) << "the next outage";
    policy.Initiated("");
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL"), 70000));
}

TEST(ShutdownPolicy, ARefusalIsRetriedWithEachCriticalReadingAndRecordedOnce) {
    ShutdownPolicy policy(Critical());
    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 0));
    EXPECT_EQ(ServiceEvent::ShutdownRefused, policy.Initiated("error 120").at(0).event);
    EXPECT_EQ("initiated (battery low), Windows refused: error 120", policy.StatusLine());
    EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 1000));
    EXPECT_TRUE(policy.Initiated("error 120").empty());
    // Nothing for Windows to call off, but the retries end.
    EXPECT_EQ(ProtectionAction::None, Act(policy, Ups("OL"), 1500));
    EXPECT_EQ("cancelled (power back)", policy.StatusLine());

    ASSERT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 2000));
    EXPECT_EQ(1u, policy.Initiated("error 120").size()) << "a new outage's refusal is recorded again";
    EXPECT_EQ(ProtectionAction::Initiate, Act(policy, Ups("OB LB"), 3000));
    EXPECT_EQ(ServiceEvent::ShutdownInitiated, policy.Initiated("").at(0).event);
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
    using E = ServiceEvent;
    std::pair<SourceReading, std::vector<E>> const steps[] = {
        {Ups("OL"), {}},          {refused, {E::LoginRefused}},     {refused, {}},
        {Ups("OB"), {E::OnBattery}}, {Ups("OB"), {}},              {kSilent, {E::CommunicationLost}},
        {kSilent, {}},            {Ups("OB LB"), {E::CommunicationBack, E::BatteryLow}},
        {Ups("OL"), {E::PowerBack}},
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

    std::vector<std::array<DWORD, 3>> calls;  // grace, flags, reason
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
    DWORD const power = SHTDN_REASON_MAJOR_POWER | SHTDN_REASON_MINOR_ENVIRONMENT | SHTDN_REASON_FLAG_PLANNED;
    EXPECT_EQ((decltype(windows.calls){{45, SHUTDOWN_POWEROFF | SHUTDOWN_FORCE_OTHERS, power}}), windows.calls);
    std::wstring const japanese = vandrel::ShutdownWarning(windows.language, false, 45).text;
    EXPECT_NE(vandrel::ShutdownWarning(LANG_ENGLISH, false, 45).text, japanese);
    EXPECT_NE(std::wstring::npos, japanese.find(L" 45 "));
    using Sent = std::vector<std::pair<DWORD, std::wstring>>;
    EXPECT_EQ((Sent{{1, japanese}, {3, japanese}}), windows.messages);
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
