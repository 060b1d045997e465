// The NUT client over Wine's Winsock against a real upsd and dummy-ups on
// the host (tests/rigs/nut). Each case starts from OL, charge 100, on a
// upsd in clear; the TLS cases switch it to STARTTLS with certificates.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "nut/NutClient.h"
#include "nut/NutMonitor.h"
#include "nut/NutProtocol.h"
#include "nut/TlsPolicy.h"
#include "tests/rigs/nut/NutPeer.h"
#include "win32/UniqueHandle.h"

namespace {

unsigned const kQueryTimeoutMs = 5000;

class NutServer : public ::testing::Test {
protected:
    void SetUp() override { nut_peer::Reset(); }
};

TEST_F(NutServer, QueryOnceReadsStatusAndCharge) {
    nut::UpsReading reading = nut::QueryOnce(nut_peer::Address(), kQueryTimeoutMs);
    EXPECT_TRUE(reading.answered) << reading.failure;
    EXPECT_EQ(reading.status, "OL");
    EXPECT_EQ(reading.charge, 100);
    EXPECT_EQ(reading.statusWord, kWordOnLine);
    // The rest of what the driver serves comes in the same list.
    EXPECT_EQ(reading.runtimeSeconds, 1800);
    EXPECT_EQ(reading.loadPercent, 23);
    EXPECT_EQ(reading.inputVoltageTenths, 2304);
    EXPECT_EQ(reading.outputVoltageTenths, 2298);
    EXPECT_EQ(reading.maker + "/" + reading.model, "Peer Works/Dummy 1500");

    nut_peer::Run("set-status", "'OB DISCHRG LB' 35");
    reading = nut::QueryOnce(nut_peer::Address(), kQueryTimeoutMs);
    EXPECT_EQ(reading.status, "OB DISCHRG LB");
    EXPECT_EQ(reading.charge, 35);
    EXPECT_EQ(reading.statusWord, kWordBatteryLow);
}

TEST_F(NutServer, AHostNameIsLookedUp) {
    // "localhost" may name ::1 first, where nothing listens: the next
    // address is tried.
    nut::UpsAddress address = nut_peer::Address();
    address.host = "localhost";
    nut::UpsReading const reading = nut::QueryOnce(address, kQueryTimeoutMs);
    EXPECT_TRUE(reading.answered) << reading.failure;
    EXPECT_EQ(reading.statusWord, kWordOnLine);
}

TEST_F(NutServer, AUpsWithoutChargeStillAnswers) {
    // The driver forgets a variable only when it starts afresh.
    nut_peer::Run("set-status", "'OB DISCHRG' -");
    nut_peer::Run("kill-driver");
    nut_peer::Run("start-driver");
    nut_peer::Run("wait-status", "'OB DISCHRG'");
    nut::UpsReading const reading = nut::QueryOnce(nut_peer::Address(), kQueryTimeoutMs);
    EXPECT_TRUE(reading.answered) << reading.failure;
    EXPECT_EQ(reading.charge, -1);
    EXPECT_EQ(reading.statusWord, kWordOnBattery);
}

TEST_F(NutServer, ServerErrorsAreNamed) {
    nut::UpsAddress unknown = nut_peer::Address();
    unknown.upsName = "nosuchups";
    nut::UpsReading reading = nut::QueryOnce(unknown, kQueryTimeoutMs);
    EXPECT_FALSE(reading.answered);
    EXPECT_EQ(reading.failure, "unknown UPS");
    EXPECT_EQ(reading.statusWord, kWordNoConnection);

    nut_peer::Run("kill-driver");
    reading = nut::QueryOnce(nut_peer::Address(), kQueryTimeoutMs);
    EXPECT_EQ(reading.failure, "driver not connected");
    EXPECT_EQ(reading.statusWord, kWordNoConnection);
}

TEST_F(NutServer, AFrozenDriverGoesStale) {
    nut::NutMonitor monitor(nut_peer::Address());
    EXPECT_EQ(monitor.Poll(nullptr).statusWord, kWordOnLine);

    nut_peer::Run("freeze");
    nut_peer::Run("wait-status", "DATA-STALE");
    nut::UpsReading const reading = monitor.Poll(nullptr);
    nut_peer::Run("thaw");
    EXPECT_EQ(reading.failure, "data stale");
    EXPECT_EQ(reading.statusWord, kWordNoConnection);
    // An error reply is an answer: the connection stays.
    EXPECT_TRUE(monitor.Connected());
    nut_peer::Run("wait-status", "OL");
    EXPECT_EQ(monitor.Poll(nullptr).statusWord, kWordOnLine);
}

TEST_F(NutServer, MonitorBacksOffAfterARestartAndReconnectsOnResume) {
    std::uint64_t now = 1000000;
    nut::NutMonitor monitor(nut_peer::Address(), nut::MonitorTimeouts(), [&now] { return now; });
    EXPECT_EQ(monitor.Poll(nullptr).statusWord, kWordOnLine);

    nut_peer::Run("stop-server");
    nut::UpsReading reading = monitor.Poll(nullptr);
    EXPECT_EQ(reading.statusWord, kWordNoConnection);
    EXPECT_FALSE(monitor.Connected());

    nut_peer::Run("start-server");
    nut_peer::Run("wait-status", "OL");
    // The clock has not moved: still backing off, so no new connection.
    reading = monitor.Poll(nullptr);
    EXPECT_EQ(reading.statusWord, kWordNoConnection);
    EXPECT_FALSE(monitor.Connected());

    now += nut::MonitorLogic::kFirstRetryMs;
    EXPECT_EQ(monitor.Poll(nullptr).statusWord, kWordOnLine);

    // A resume drops the old connection and connects again at once, even
    // in the middle of a back-off.
    nut_peer::Run("stop-server");
    monitor.Poll(nullptr);
    nut_peer::Run("start-server");
    nut_peer::Run("wait-status", "OL");
    monitor.NotifyResumed();
    reading = monitor.Poll(nullptr);
    EXPECT_EQ(reading.statusWord, kWordOnLine) << reading.failure;
}

TEST_F(NutServer, ConnectionFailuresAreNamed) {
    nut::UpsReading const refused = nut::QueryOnce(nut_peer::ClosedAddress(), kQueryTimeoutMs);
    EXPECT_EQ(refused.failure, "connection refused");
    EXPECT_EQ(refused.statusWord, kWordNoConnection);

    nut::UpsReading const silent = nut::QueryOnce(nut_peer::SilentAddress(), 1000);
    EXPECT_EQ(silent.failure, "no answer");
    EXPECT_EQ(silent.statusWord, kWordNoConnection);
}

TEST_F(NutServer, ASilentServerCannotHoldAPollPastItsStop) {
    // Time-outs far beyond ctest's own: only the stop event can end the poll.
    nut::MonitorTimeouts forever;
    forever.connectMs = forever.replyMs = 3600000;
    nut_peer::TakeSilentServerReceived();
    nut::NutMonitor monitor(nut_peer::SilentAddress(), forever);
    UniqueKernelHandle stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(stop);
    std::thread stopper([&stop] {
        ::Sleep(300);
        ::SetEvent(stop.get());
    });
    nut::UpsReading const reading = monitor.Poll(stop.get());
    stopper.join();
    EXPECT_EQ(reading.failure, nut::kStoppedFailure);
    EXPECT_EQ(reading.statusWord, kWordNoConnection);
    // The dropped connection still says goodbye, so upsd forgets this client.
    std::string received;
    for (int wait = 0; wait < 50 && received.find("LOGOUT\n") == std::string::npos; ++wait) {
        ::Sleep(20);
        received += nut_peer::TakeSilentServerReceived();
    }
    EXPECT_EQ("LIST VAR testups\nLOGOUT\n", received);
}

// ---- TLS ----

nut::Credentials const kSecondary{"mon", "secret"};

// The certificate names localhost, and Wine matches names only.
nut::UpsAddress Localhost() {
    nut::UpsAddress address = nut_peer::Address();
    address.host = "localhost";
    return address;
}

nut::TlsPolicy Policy(nut::TlsMode mode, nut::TlsCheck check = nut::TlsCheck::None) {
    nut::TlsPolicy policy;
    policy.mode = mode;
    policy.check = check;
    // The peer makes its certificates with its first serve-tls.
    if (check == nut::TlsCheck::Ca) {
        EXPECT_EQ("", nut::ParseCertificatePem(nut_peer::FileText("tls/ca.pem"), policy.caDer));
    }
    return policy;
}

nut::TlsPolicy Pinned(std::string const& fingerprint) {
    nut::TlsPolicy policy = Policy(nut::TlsMode::Require, nut::TlsCheck::Pin);
    EXPECT_EQ("", nut::ParseSha256Pin(fingerprint, policy.pin));
    return policy;
}

std::string PeerFingerprint(std::string const& name) {
    std::string text = nut_peer::FileText("tls/" + name + ".sha256");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// How often upsd has logged the secondary in over TLS since it started.
std::size_t TlsLoginsOfTheSecondary() {
    std::string const log = nut_peer::FileText("server.log");
    std::string const line = "User mon@127.0.0.1 logged into UPS [testups] (SSL)";
    std::size_t count = 0;
    for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    return count;
}

TEST_F(NutServer, RequireWithTheRightCaReadsAndLogsInOverTls) {
    nut_peer::Run("serve-tls");
    std::size_t const logins = TlsLoginsOfTheSecondary();
    nut::UpsReading reading = nut::QueryOnceWithTls(Localhost(), kQueryTimeoutMs, &kSecondary,
                                                    Policy(nut::TlsMode::Require, nut::TlsCheck::Ca));
    EXPECT_TRUE(reading.answered) << reading.failure;
    EXPECT_EQ(reading.statusWord, kWordOnLine);
    EXPECT_EQ(reading.login, nut::LoginOutcome::LoggedIn) << reading.loginProblem;
    EXPECT_EQ(TlsLoginsOfTheSecondary(), logins + 1) << "upsd saw no login over TLS";
    nut::LinkState const link = reading.link;
    EXPECT_TRUE(link.encrypted);
    EXPECT_TRUE(link.verified) << link.refusal;
    EXPECT_EQ(link.protocol, "TLS 1.2");
    EXPECT_EQ(link.subject, "CN=localhost");
    EXPECT_EQ(link.fingerprint, PeerFingerprint("server"));

    // The fingerprint shown pins the server; a monitor keeps its link, and
    // its login, over polls.
    nut::NutMonitor monitor(Localhost(), kSecondary, Pinned(link.fingerprint));
    for (int poll = 0; poll < 2; ++poll) {
        reading = monitor.Poll(nullptr);
        EXPECT_EQ(reading.statusWord, kWordOnLine) << reading.failure;
        EXPECT_TRUE(reading.link.verified) << reading.link.refusal;
        EXPECT_EQ(reading.loginSent, poll == 0);
    }
    EXPECT_TRUE(monitor.Connected());

    // Try with nothing to check: encrypted, but anyone's.
    reading = nut::QueryOnceWithTls(Localhost(), kQueryTimeoutMs, nullptr, Policy(nut::TlsMode::Try));
    EXPECT_TRUE(reading.answered) << reading.failure;
    EXPECT_TRUE(reading.link.encrypted);
    EXPECT_FALSE(reading.link.verified);
}

TEST_F(NutServer, RefusedCertificatesNeverSeeTheLogin) {
    nut_peer::Run("serve-tls");
    std::size_t const logins = TlsLoginsOfTheSecondary();
    auto expectRefused = [](nut::TlsPolicy const& policy, std::string const& why, std::string const& server) {
        nut::UpsReading const reading = nut::QueryOnceWithTls(Localhost(), kQueryTimeoutMs, &kSecondary, policy);
        EXPECT_FALSE(reading.answered);
        EXPECT_EQ(reading.failure, why);
        EXPECT_EQ(reading.login, nut::LoginOutcome::NotAsked);
        EXPECT_EQ(reading.link.refusal, why);
        EXPECT_FALSE(reading.link.encrypted);
        EXPECT_EQ(reading.link.fingerprint, PeerFingerprint(server)) << why;
    };
    expectRefused(Pinned(PeerFingerprint("forged-server")), "fingerprint does not match", "server");
    nut::TlsPolicy otherName = Policy(nut::TlsMode::Require, nut::TlsCheck::Ca);
    otherName.serverName = "upsd.lan";
    expectRefused(otherName, "certificate name does not match upsd.lan", "server");

    // A server whose CA copies ours in name and serial, and sends it along.
    nut_peer::Run("serve-tls", "forged");
    expectRefused(Policy(nut::TlsMode::Try, nut::TlsCheck::Ca), "certificate from another CA", "forged-server");
    EXPECT_EQ(TlsLoginsOfTheSecondary(), logins);
}

TEST_F(NutServer, TryReadsAServerWithoutTlsInClearAndRequireStopsAtStartTls) {
    nut::UpsReading reading =
        nut::QueryOnceWithTls(Localhost(), kQueryTimeoutMs, nullptr, Policy(nut::TlsMode::Try));
    EXPECT_TRUE(reading.answered) << reading.failure;
    EXPECT_EQ(reading.statusWord, kWordOnLine);
    EXPECT_FALSE(reading.link.encrypted);

    nut::TlsPolicy const require = Policy(nut::TlsMode::Require);
    reading = nut::QueryOnceWithTls(Localhost(), kQueryTimeoutMs, &kSecondary, require);
    EXPECT_EQ(reading.failure, "the server does not offer TLS");
    // A server asked to prove itself cannot be read in clear under try either.
    nut::TlsPolicy pinnedTry = Pinned(std::string(64, 'a'));
    pinnedTry.mode = nut::TlsMode::Try;
    reading = nut::QueryOnceWithTls(Localhost(), kQueryTimeoutMs, &kSecondary, pinnedTry);
    EXPECT_EQ(reading.link.refusal, "the server does not offer TLS");

    // The recording server refuses STARTTLS as that upsd does: nothing
    // follows it, not the login, not even a goodbye.
    nut_peer::TakeSilentServerReceived();
    reading = nut::QueryOnceWithTls(nut_peer::SilentAddress(), kQueryTimeoutMs, &kSecondary, require);
    EXPECT_EQ(reading.failure, "the server does not offer TLS");
    std::string received;
    for (int wait = 0; wait < 25; ++wait) {
        ::Sleep(20);
        received += nut_peer::TakeSilentServerReceived();
    }
    EXPECT_EQ("STARTTLS\n", received);
}

TEST_F(NutServer, APeerThatStallsOrBabblesAfterOkStartTlsCostsAFailureNeverAHang) {
    // Mid-handshake, only the stop event can end a poll with these time-outs.
    nut_peer::SetSilentServerStartTlsAnswer("OK STARTTLS\n");
    nut::MonitorTimeouts forever;
    forever.connectMs = forever.replyMs = 3600000;
    nut::NutMonitor monitor(nut_peer::SilentAddress(), kSecondary, Policy(nut::TlsMode::Require), forever);
    UniqueKernelHandle stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(stop);
    std::thread stopper([&stop] {
        ::Sleep(300);
        ::SetEvent(stop.get());
    });
    nut::UpsReading reading = monitor.Poll(stop.get());
    stopper.join();
    EXPECT_EQ(reading.failure, nut::kStoppedFailure);
    EXPECT_FALSE(monitor.Connected());

    // What follows the answer is not TLS: a failure at once, and nothing
    // of ours but STARTTLS and the start of a handshake goes out.
    nut_peer::TakeSilentServerReceived();
    std::string babble = "OK STARTTLS\n";
    // Enough lines to fill the record length their first bytes claim.
    for (int line = 0; line < 1000; ++line) babble += "ERR UNKNOWN-COMMAND\n";
    nut_peer::SetSilentServerStartTlsAnswer(babble);
    ULONGLONG const started = ::GetTickCount64();
    reading = nut::QueryOnceWithTls(nut_peer::SilentAddress(), kQueryTimeoutMs, &kSecondary,
                                    Policy(nut::TlsMode::Require));
    EXPECT_LT(::GetTickCount64() - started, kQueryTimeoutMs / 2) << reading.failure;
    EXPECT_EQ(reading.failure.rfind("TLS handshake failed", 0), 0u) << reading.failure;
    ::Sleep(200);
    std::string const received = nut_peer::TakeSilentServerReceived();
    EXPECT_EQ(received.rfind("STARTTLS\n", 0), 0u);
    EXPECT_EQ(received.find("USERNAME"), std::string::npos);
}

}  // namespace
