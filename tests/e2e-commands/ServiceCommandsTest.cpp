// Agent Start and Agent Stop against the real Service Control Manager and
// the stand-in monitoring service.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>

#include "tests/e2e-commands/CommandsFixture.h"
#include "tests/e2e-commands/ServiceRegistration.h"
#include "tests/support/e2e/Pump.h"
#include "res/resource.h"

namespace commands_e2e {
namespace {

constexpr DWORD kServiceWaitMs = 10000;
const std::wstring kRunningTip = L"On Line Battery Normal";  // status word 3

class ServiceCommands : public CommandsEndToEnd {
protected:
    // Opens the tray menu, checks which of Agent Start and Agent Stop it
    // offers, then chooses item `choose`, or closes it when that is -1.
    void UseMenu(bool startOffered, int choose) {
        HWND menu = OpenTrayMenu();
        ASSERT_NE(nullptr, menu);
        std::optional<menu_probe::OpenMenu> read = ReadMenu();
        if (choose < 0) ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        else ChooseItem(menu, choose);
        ASSERT_TRUE(read.has_value());
        ASSERT_EQ(5u, read->items.size());
        EXPECT_EQ(startOffered, read->items[0].Enabled()) << "Agent Start";
        EXPECT_EQ(!startOffered, read->items[1].Enabled()) << "Agent Stop";
    }
};

TEST_F(ServiceCommands, AgentStopOnASlowServiceReturnsWhileItIsStillStopping) {
    ASSERT_EQ("", InstallService("--status 3 --stop-delay-ms 10000"));
    ASSERT_TRUE(StartServiceNow());
    ASSERT_EQ(std::optional<DWORD>(SERVICE_RUNNING), WaitForServiceState(SERVICE_RUNNING, kServiceWaitMs));
    StartAgent();
    ASSERT_TRUE(WaitForTip(kRunningTip));

    const ULONGLONG start = ::GetTickCount64();
    PostCommand(ID_AGENT_STOP);
    // Once the stop has been asked for, the command is running, and a
    // message sent now is answered only when it has returned.
    ASSERT_EQ(std::optional<DWORD>(SERVICE_STOP_PENDING), WaitForServiceState(SERVICE_STOP_PENDING, kServiceWaitMs));
    ASSERT_TRUE(Answers(30000)) << "the agent did not come back from Agent Stop";
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    const std::optional<DWORD> stateWhenBack = ServiceState();
    std::cout << "Agent Stop on a service that takes 10 s to stop returned after " << elapsed << " ms\n";

    // The command gave up waiting: the stop itself was asked for and is
    // still under way.
    EXPECT_EQ(std::optional<DWORD>(SERVICE_STOP_PENDING), stateWhenBack);
}

TEST_F(ServiceCommands, AgentStartOnAMissingServiceChangesNothing) {
    StartAgent();
    ASSERT_TRUE(WaitForTip(L"Agent Stop"));

    PostCommand(ID_AGENT_START);
    // Opened after the command is done: Start is still what it offers.
    UseMenu(true, -1);
    EXPECT_EQ(std::nullopt, ServiceState());
    EXPECT_TRUE(agent_->IsRunning());
}

TEST_F(ServiceCommands, PersonStartsAndStopsTheServiceFromTheTrayMenu) {
    ASSERT_EQ("", InstallService("--status 3"));
    StartAgent();
    ASSERT_TRUE(WaitForTip(L"Agent Stop"));

    UseMenu(true, 0);  // Agent Start
    EXPECT_EQ(std::optional<DWORD>(SERVICE_RUNNING), WaitForServiceState(SERVICE_RUNNING, kServiceWaitMs));
    ASSERT_TRUE(WaitForTip(kRunningTip));

    UseMenu(false, 1);  // Agent Stop
    EXPECT_EQ(std::optional<DWORD>(SERVICE_STOPPED), WaitForServiceState(SERVICE_STOPPED, kServiceWaitMs));
}

}  // namespace
}  // namespace commands_e2e
