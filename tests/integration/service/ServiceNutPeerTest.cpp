// The installed service reading a real upsd and dummy-ups on the host
// (tests/support/nut): the block follows the UPS, the server's failures give
// word 4, and the service reconnects when the server comes back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/UniqueHandle.h"
#include "companions/common/ServiceSettings.h"
#include "companions/nut/NutClient.h"
#include "tests/support/e2e/TempFolder.h"
#include "tests/support/nut/NutPeer.h"
#include "tests/support/e2e/Process.h"
#include "tests/support/status/SharedNamesLock.h"
#include "tests/support/status/StatusBlockDouble.h"

namespace {

DWORD const kRunTimeoutMs = 60000;
// Long enough for a reconnect after a few rounds of back-off.
DWORD const kChangeTimeoutMs = 45000;
DWORD const kPollMs = 50;

e2e::RunResult Service(std::string const& arguments) {
    return e2e::RunProgram(e2e::HostPathToWindows(VANDREL_SERVICE_EXE), arguments, kRunTimeoutMs);
}

// The block's words once its status word is `word`, else the last ones seen.
StatusSnapshot WaitForWord(uint32_t word) {
    ULONGLONG const end = ::GetTickCount64() + kChangeTimeoutMs;
    StatusSnapshot seen;
    do {
        perimand_test::AgentRead const read = perimand_test::ReadLikeAgent();
        seen = read.copied ? read.words : StatusSnapshot();
        if (seen.statusWord == word) break;
        ::Sleep(kPollMs);
    } while (::GetTickCount64() < end);
    return seen;
}

class ServiceWithNutServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(names_.held());
        nut_peer::Reset();
        Service("uninstall");
        std::string const ups = nut::FormatUpsAddress(nut_peer::Address());
        e2e::RunResult const install = Service("install --nut " + ups + " --poll-ms 500");
        ASSERT_EQ(0u, install.exitCode) << install.err;
    }
    void TearDown() override { Service("uninstall"); }

    bool Start() {
        UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        UniqueServiceHandle service(
            manager ? ::OpenServiceA(manager.get(), vandrel::kServiceName, SERVICE_START) : nullptr);
        return service && ::StartServiceA(service.get(), 0, nullptr);
    }

    perimand_test::SharedNamesLock names_;
};

TEST_F(ServiceWithNutServer, StatusPrintsWhatTheServerSays) {
    e2e::RunResult const status = Service("status");
    EXPECT_EQ(0u, status.exitCode) << status.out << status.err;
    std::string const line = nut::FormatUpsAddress(nut_peer::Address()) + " OL charge=100 -> word 3";
    EXPECT_NE(std::string::npos, status.out.find(line)) << status.out;
}

TEST_F(ServiceWithNutServer, TheBlockFollowsTheUpsAndTheServersFailures) {
    ASSERT_TRUE(Start()) << ::GetLastError();
    StatusSnapshot words = WaitForWord(3);
    EXPECT_EQ(3u, words.statusWord);
    EXPECT_EQ(100u, words.word2);

    nut_peer::Run("set-status", "'OB DISCHRG' 80");
    words = WaitForWord(1);
    EXPECT_EQ(1u, words.statusWord);
    EXPECT_EQ(80u, words.word2);
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

}  // namespace
