// Agent Start and Agent Stop against the real Service Control Manager and
// the stand-in monitoring service.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>

#include "res/resource.h"
#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/service/ServiceRegistration.h"

namespace agent_e2e {
namespace {

constexpr DWORD kServiceWaitMs = 10000;

class ServiceCommands : public EndToEnd {
protected:
    void TearDown() override {
        agent_.End();  // before its service goes
        EXPECT_TRUE(RemoveService());
    }

    // What the stand-in service started with "--status 3" shows.
    static std::wstring RunningTip() { return Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL); }

    // Opens the tray menu, checks which of Agent Start and Agent Stop it
    // offers, then chooses item `choose`, or closes it when that is -1.
    void UseMenu(bool startOffered, int choose) {
        HWND menu = agent_.OpenTrayMenu();
        ASSERT_NE(nullptr, menu);
        std::optional<e2e::MenuReport> const read = agent_.ReadMenu();
        if (choose < 0) ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        else e2e::AgentUnderTest::ChooseItem(menu, choose);
        ASSERT_TRUE(read.has_value());
        std::vector<e2e::MenuItem> const items = e2e::ItemsOf(*read);
        ASSERT_EQ(5u, items.size());
        EXPECT_EQ(startOffered, items[0].Enabled()) << "Agent Start";
        EXPECT_EQ(!startOffered, items[1].Enabled()) << "Agent Stop";
    }
};

TEST_F(ServiceCommands, AgentStopOnASlowServiceReturnsWhileItIsStillStopping) {
    ASSERT_EQ("", InstallService("--status 3 --stop-delay-ms 10000"));
    ASSERT_TRUE(StartServiceNow());
    ASSERT_EQ(std::optional<DWORD>(SERVICE_RUNNING), WaitForServiceState(SERVICE_RUNNING, kServiceWaitMs));
    ASSERT_TRUE(agent_.Start());
    ASSERT_TRUE(agent_.WaitForTip(RunningTip()));

    ULONGLONG const start = ::GetTickCount64();
    agent_.PostCommand(ID_AGENT_STOP);
    // Once the stop has been asked for, the command is running, and a
    // message sent now is answered only when it has returned.
    ASSERT_EQ(std::optional<DWORD>(SERVICE_STOP_PENDING), WaitForServiceState(SERVICE_STOP_PENDING, kServiceWaitMs));
    ASSERT_TRUE(agent_.Answers(30000)) << "the agent did not come back from Agent Stop";
    ULONGLONG const elapsed = ::GetTickCount64() - start;
    std::optional<DWORD> const stateWhenBack = ServiceState();
    std::cout << "Agent Stop on a service that takes 10 s to stop returned after " << elapsed << " ms\n";

    // The command gave up waiting: the stop itself was asked for and is
    // still under way.
    EXPECT_EQ(std::optional<DWORD>(SERVICE_STOP_PENDING), stateWhenBack);
}

TEST_F(ServiceCommands, AgentStartOnAMissingServiceChangesNothing) {
    ASSERT_TRUE(agent_.Start());
    ASSERT_TRUE(agent_.WaitForTip(Tip(IDS_AGENT_STOP)));

    agent_.PostCommand(ID_AGENT_START);
    // Opened after the command is done: Start is still what it offers.
    UseMenu(true, -1);
    EXPECT_EQ(std::nullopt, ServiceState());
    EXPECT_TRUE(agent_.IsRunning());
}

TEST_F(ServiceCommands, PersonStartsAndStopsTheServiceFromTheTrayMenu) {
    ASSERT_EQ("", InstallService("--status 3"));
    ASSERT_TRUE(agent_.Start());
    ASSERT_TRUE(agent_.WaitForTip(Tip(IDS_AGENT_STOP)));

    UseMenu(true, 0);  // Agent Start
    EXPECT_EQ(std::optional<DWORD>(SERVICE_RUNNING), WaitForServiceState(SERVICE_RUNNING, kServiceWaitMs));
    ASSERT_TRUE(agent_.WaitForTip(RunningTip()));

    UseMenu(false, 1);  // Agent Stop
    EXPECT_EQ(std::optional<DWORD>(SERVICE_STOPPED), WaitForServiceState(SERVICE_STOPPED, kServiceWaitMs));
}

}  // namespace
}  // namespace agent_e2e
