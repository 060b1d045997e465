// The NUT client over Wine's Winsock against a real upsd and dummy-ups on
// the host (tests/rigs/nut). Each case starts from OL, charge 100.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "nut/NutClient.h"
#include "nut/NutMonitor.h"
#include "nut/NutProtocol.h"
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
    EXPECT_EQ("GET VAR testups ups.status\nLOGOUT\n", received);
}

}  // namespace
