// The installed service reading a real upsd and dummy-ups on the host
// (tests/rigs/nut): the block follows the UPS, the server's failures give
// word 4, the service reconnects when the server comes back, it logs in as
// a secondary when told to and stays logged in through NUT's own primary's
// forced shutdown, and it stops when asked even while a server leaves its
// request unanswered.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "contract/StatusBlockReader.h"
#include "nut/NutClient.h"
#include "service/RecentEvents.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "tests/rigs/nut/NutPeer.h"
#include "tests/rigs/service/InstalledService.h"

namespace {

class ServiceWithNutServer : public service_test::InstalledService {
protected:
    void SetUp() override {
        nut_peer::Reset();
        InstalledService::SetUp();
    }
    void InstallFor(nut::UpsAddress const& ups) { Install("--nut " + nut::FormatUpsAddress(ups) + " --poll-ms 500"); }
};

// `status` until its shutdown line starts with `prefix` or `ms` have passed; its last output.
// Wine now and then fails to start a program (error 1359) when starts come
// this fast: such a round only counts as not yet.
std::string StatusOnceShutdownIs(std::string const& prefix, ULONGLONG ms) {
    std::string out;
    for (ULONGLONG const end = ::GetTickCount64() + ms;; ::Sleep(500)) {
        try {
            out = service_test::Service("status").out;
        } catch (std::runtime_error const&) {
        }
        if (out.find("\nshutdown: " + prefix) != std::string::npos || ::GetTickCount64() >= end) return out;
    }
}

TEST_F(ServiceWithNutServer, StatusPrintsWhatTheServerSays) {
    InstallFor(nut_peer::Address());
    e2e::RunResult const status = service_test::Service("status");
    EXPECT_EQ(0u, status.exitCode) << status.out << status.err;
    std::string const line = nut::FormatUpsAddress(nut_peer::Address()) + " OL charge=100 -> word 3";
    EXPECT_NE(std::string::npos, status.out.find(line + "\nlink: not encrypted\n")) << status.out;

    // The peer's certificate names localhost, not the address's 127.0.0.1.
    nut_peer::Run("serve-tls");
    auto const linkAfter = [](std::string const& options) {
        e2e::RunResult const config = service_test::Service("config --tls-name localhost " + options);
        EXPECT_EQ(0u, config.exitCode) << config.err;
        std::string const out = service_test::Service("status").out;
        size_t const at = out.find("\nlink: ");
        return at == std::string::npos ? out : out.substr(at + 7, out.find('\n', at + 1) - at - 7);
    };
    EXPECT_EQ("encrypted (TLS 1.2), certificate verified (CN=localhost)",
              linkAfter("--tls require --tls-ca \"" + nut_peer::FilePath("tls/ca.pem") + "\""));
    std::string const otherPin = nut_peer::FileText("tls/forged-server.sha256").substr(0, 64);
    EXPECT_EQ("refused: fingerprint does not match", linkAfter("--tls-pin " + otherPin));
    EXPECT_EQ(0u, linkAfter("--tls try --tls-pin \"\"").find("encrypted (TLS 1.2), certificate not checked (CN=localhost"));
}

TEST_F(ServiceWithNutServer, TheBlockFollowsTheUpsAndTheServersFailures) {
    InstallFor(nut_peer::Address());
    ASSERT_TRUE(Start()) << ::GetLastError();
    // The block appears with the server's answer: no "no connection" first.
    perimand_test::AgentRead first;
    for (ULONGLONG const end = ::GetTickCount64() + 15000; !first.copied && ::GetTickCount64() < end; ::Sleep(10))
        first = perimand_test::ReadLikeAgent();
    EXPECT_EQ(1u, first.words.word0);
    EXPECT_EQ(3u, first.words.statusWord);
    StatusSnapshot words = WaitForWord(3);
    EXPECT_EQ(100u, words.word2);

    nut_peer::Run("set-status", "'OB DISCHRG' 80");
    words = WaitForWord(1);
    EXPECT_EQ(1u, words.statusWord);
    EXPECT_EQ(80u, words.word2);
    // The reading's record in the block; the event among the recent ones.
    StatusRecordRead const onBattery = ReadStatusBlockWithRecord();
    ASSERT_TRUE(onBattery.hasRecord);
    EXPECT_EQ("OB DISCHRG", onBattery.record.status);
    EXPECT_EQ(nut::FormatUpsAddress(nut_peer::Address()), onBattery.record.server);
    EXPECT_EQ(80u, onBattery.record.charge);
    EXPECT_EQ(23u, onBattery.record.load);
    EXPECT_EQ("Dummy 1500", onBattery.record.model);
    EXPECT_EQ(std::uint32_t{kProtectionOff}, onBattery.record.protectionState) << "installed without protection";
    std::vector<vandrel::RecentEvent> events;
    for (ULONGLONG const end = ::GetTickCount64() + 5000; ::GetTickCount64() < end; ::Sleep(100)) {
        events = vandrel::ReadRecentEvents();
        if (!events.empty() && events.front().kind == L"OnBattery") break;
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(L"OnBattery", events.front().kind);
    EXPECT_EQ(L"The mains power failed: the UPS runs on battery. OB DISCHRG", events.front().text);
    nut_peer::Run("set-status", "'OB DISCHRG LB' 20");
    EXPECT_EQ(2u, WaitForWord(2).statusWord);

    nut_peer::Run("kill-driver");  // DRIVER-NOT-CONNECTED
    words = WaitForWord(4);
    EXPECT_EQ(4u, words.statusWord);
    EXPECT_EQ(0u, words.word2) << "no charge without a reading";

    nut_peer::Run("reset");
    EXPECT_EQ(3u, WaitForWord(3).statusWord);
    nut_peer::Run("stop-server");
    EXPECT_EQ(4u, WaitForWord(4).statusWord);
    nut_peer::Run("start-server");
    EXPECT_EQ(3u, WaitForWord(3).statusWord) << "reconnects on its own";
}

// The peer's upsd.users holds the secondary "mon", password "secret".
TEST_F(ServiceWithNutServer, LogsInWithTheStoredPasswordTakesANewOneAtOnceAndLogsOutWhenStopped) {
    Install("--nut " + nut::FormatUpsAddress(nut_peer::Address()) +
                " --poll-ms 500 --shutdown critical --login mon --password-stdin",
            "wrong\n");
    ASSERT_TRUE(Start()) << ::GetLastError();
    EXPECT_EQ(3u, WaitForWord(3).statusWord) << "a refused login still reads";
    // The running service's protection sees each reading and says so in status.
    e2e::RunResult const refused = service_test::Service("status");
    EXPECT_NE(std::string::npos, refused.out.find("\nshutdown: armed, not logged in: access denied\n")) << refused.out;
    e2e::RunResult const config = service_test::Service("config --password-stdin", "secret\n");
    EXPECT_EQ(0u, config.exitCode) << config.err;
    nut_peer::Run("wait-clients", "1");
    ASSERT_TRUE(Stop()) << ::GetLastError();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(SERVICE_STOPPED));
    nut_peer::Run("wait-clients", "0");
}

// NUT's own upsmon is the UPS's primary here (HOSTSYNC 30 s). A calibration
// is no emergency for either; the primary's forced shutdown is, and nothing
// calls it off, so the service stays logged in and the primary waits for this
// PC until the service stops.
TEST_F(ServiceWithNutServer, StaysLoggedInThroughTheForcedShutdownSoThePrimaryWaitsUntilItStops) {
    std::string const ups = nut::FormatUpsAddress(nut_peer::Address());
    Install("--nut " + ups + " --poll-ms 500 --shutdown critical --login mon --password-stdin", "secret\n");
    ASSERT_TRUE(Start()) << ::GetLastError();
    nut_peer::Run("wait-clients", "1");
    nut_peer::Run("start-primary");

    // A calibration runs the battery low on purpose.
    nut_peer::Run("set-status", "'OB DISCHRG LB CAL' 20");
    ::Sleep(3000);  // several polls of both
    std::string out = service_test::Service("status").out;
    EXPECT_NE(std::string::npos, out.find("\nshutdown: armed (")) << out;
    EXPECT_NE(std::string::npos, out.find(ups + " OB DISCHRG LB CAL charge=")) << "the primary set FSD:\n" << out;

    // upsmon 2.8.0 takes the UPS for calibrating from its first CAL on, until it restarts.
    nut_peer::Run("set-status", "'OB DISCHRG' 50");
    nut_peer::Run("start-primary");
    nut_peer::Run("set-status", "'OB DISCHRG LB' 20");
    nut_peer::Run("wait-status", "'FSD OB DISCHRG LB'");
    out = StatusOnceShutdownIs("initiated (", 10000);
    EXPECT_NE(std::string::npos, out.find("\nshutdown: initiated (")) << out;

    // upsd keeps FSD when the power comes back, and the primary still waits for this PC.
    nut_peer::Run("set-status", "OL");
    ::Sleep(2000);
    out = service_test::Service("status").out;
    EXPECT_NE(std::string::npos, out.find("\nshutdown: initiated (")) << out;
    nut_peer::Run("wait-clients", "2");
    EXPECT_FALSE(nut_peer::HasFile("primary-shutdown"));

    // The logout lets the primary go on at once, not after HOSTSYNC.
    ASSERT_TRUE(Stop()) << ::GetLastError();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(SERVICE_STOPPED));
    nut_peer::Run("wait-file", "primary-shutdown 10");
    std::string const log = nut_peer::FileText("upsmon.log");
    EXPECT_EQ(std::string::npos, log.find("Host sync timer expired")) << log;
}

TEST_F(ServiceWithNutServer, StopsWhenAskedWhileTheServerLeavesItsRequestUnanswered) {
    InstallFor(nut_peer::SilentAddress());
    ASSERT_TRUE(Start()) << ::GetLastError();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(4u, WaitForWord(4).statusWord);
    ::Sleep(700);  // past the first poll: a request is out and unanswered

    ULONGLONG const asked = ::GetTickCount64();
    ASSERT_TRUE(Stop()) << ::GetLastError();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(SERVICE_STOPPED));
    std::printf("stopped %llu ms after the request\n", static_cast<unsigned long long>(::GetTickCount64() - asked));
    EXPECT_FALSE(perimand_test::ReadLikeAgent().found);
}

}  // namespace
