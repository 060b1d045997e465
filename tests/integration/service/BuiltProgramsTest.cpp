// The stand-ins the agent's own tests rely on: the service really runs under
// the Service Control Manager and publishes the block, and the publisher
// refuses what it cannot do loudly.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "contract/ServiceContract.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "tests/rigs/e2e/Process.h"
#include "tests/rigs/e2e/TempFolder.h"
#include "win32/UniqueHandle.h"

namespace {

using perimand_test::AgentRead;
using perimand_test::ReadLikeAgent;
using e2e::RunResult;

DWORD const kRunTimeoutMs = 60000;
DWORD const kStateTimeoutMs = 15000;
DWORD const kPollMs = 25;
DWORD const kExitFailed = 1;
DWORD const kExitUsage = 2;

RunResult RunTool(char const* exe, std::string const& arguments) {
    return e2e::RunProgram(e2e::HostPathToWindows(exe), arguments, kRunTimeoutMs);
}

DWORD WaitForState(SC_HANDLE service, DWORD state) {
    ULONGLONG const end = ::GetTickCount64() + kStateTimeoutMs;
    SERVICE_STATUS status = {};
    while (::QueryServiceStatus(service, &status) && status.dwCurrentState != state && ::GetTickCount64() < end)
        ::Sleep(kPollMs);
    return status.dwCurrentState;
}

TEST(VandrelService, RunsUnderTheServiceManagerAndPublishesTheBlockUntilStopped) {
    perimand_test::SharedNamesLock names;
    ASSERT_TRUE(names.held());
    RunTool(VANDREL_SERVICE_EXE, "uninstall");  // whatever an earlier run left
    RunResult const install = RunTool(VANDREL_SERVICE_EXE, "install --status 2");
    ASSERT_EQ(0u, install.exitCode) << install.err;
    {
        UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager);
        UniqueServiceHandle service(::OpenServiceA(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
        ASSERT_TRUE(service);
        ASSERT_TRUE(::StartServiceA(service.get(), 0, nullptr)) << ::GetLastError();
        ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(service.get(), SERVICE_RUNNING));
        // The block appears with the service's first reading, just after it runs.
        AgentRead read = ReadLikeAgent();
        for (ULONGLONG const end = ::GetTickCount64() + kStateTimeoutMs; !read.copied && ::GetTickCount64() < end;
             ::Sleep(kPollMs))
            read = ReadLikeAgent();
        EXPECT_TRUE(read.copied);
        EXPECT_EQ(2u, read.words.statusWord);

        SERVICE_STATUS status = {};
        ASSERT_TRUE(::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << ::GetLastError();
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(service.get(), SERVICE_STOPPED));
        EXPECT_FALSE(ReadLikeAgent().found);
    }  // an open handle keeps a deleted service registered
    RunResult const uninstall = RunTool(VANDREL_SERVICE_EXE, "uninstall");
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.err;
}

TEST(PublisherTool, RefusesABadValueAndATakenNameWithAMessageAndAnExitCode) {
    RunResult const bad = RunTool(UPSSTATUS_PUBLISH_EXE, "4294967296");
    EXPECT_EQ(kExitUsage, bad.exitCode);
    EXPECT_NE(std::string::npos, bad.err.find("upsstatus-publish: ")) << bad.err;

    perimand_test::StatusBlockDouble block;
    ASSERT_TRUE(block.Publish(4));
    RunResult const taken = RunTool(UPSSTATUS_PUBLISH_EXE, "3 --seconds 1");
    EXPECT_EQ(kExitFailed, taken.exitCode);
    EXPECT_NE(std::string::npos, taken.err.find("is already taken")) << taken.err;
    AgentRead const read = ReadLikeAgent();  // the other publisher's block is untouched
    ASSERT_TRUE(read.copied);
    EXPECT_EQ(4u, read.words.statusWord);
}

}  // namespace
