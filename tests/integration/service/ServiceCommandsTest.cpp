// VandrelService's commands against Wine's real Service Control Manager and
// registry: install, status, config on a running service, uninstall, and
// how refusals come out of the executable.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "companions/common/ServiceSettings.h"
#include "tests/integration/service/InstalledService.h"
#include "tests/support/status/StatusBlockDouble.h"

namespace {

using perimand_test::RunResult;
using service_test::Service;
using VandrelServiceCommands = service_test::InstalledService;

DWORD const kExitFailed = 1;
DWORD const kExitUsage = 2;
// A port of this test's own that nothing listens on.
char const kNobodyListens[] = "rack@127.0.0.1:34940";

TEST_F(VandrelServiceCommands, InstallStatusConfigAndUninstallWorkOnTheRealRegistration) {
    Install("--simulate --status 2");
    vandrel::ServiceSettings stored;
    ASSERT_TRUE(vandrel::ReadServiceSettings(stored).clean());
    EXPECT_EQ(2u, stored.simulation.statusWord);
    RunResult const stopped = Service("status");
    EXPECT_EQ(0u, stopped.exitCode) << stopped.err;
    EXPECT_NE(std::string::npos, stopped.out.find("is stopped; settings: simulate --status 2")) << stopped.out;
    EXPECT_NE(std::string::npos, stopped.out.find("simulated -> word 2")) << stopped.out;

    ASSERT_TRUE(Start()) << ::GetLastError();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(2u, WaitForWord(2).statusWord);
    // The running service follows its key, without a restart.
    EXPECT_EQ(0u, Service("config --script 1,3@200").exitCode);
    EXPECT_EQ(1u, WaitForWord(1).statusWord);
    EXPECT_EQ(3u, WaitForWord(3).statusWord);
    RunResult const toNut = Service(std::string("config --nut ") + kNobodyListens);
    EXPECT_EQ(0u, toNut.exitCode) << toNut.err;
    EXPECT_EQ(4u, WaitForWord(4).statusWord) << "no NUT server: no connection";

    RunResult const running = Service("status");
    EXPECT_EQ(kExitFailed, running.exitCode) << "no reading from a server that is not there";
    EXPECT_NE(std::string::npos, running.out.find("is running; settings: nut rack@127.0.0.1:34940")) << running.out;
    EXPECT_NE(std::string::npos, running.out.find("-> word 4\npublished: word 4, charge 0")) << running.out;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(SERVICE_RUNNING));

    service_.reset();
    RunResult const uninstall = Service("uninstall");
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.err;
    EXPECT_FALSE(perimand_test::ReadLikeAgent().mappingOpened);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), vandrel::ReadServiceSettings(stored).keyError);
    RunResult const gone = Service("status");
    EXPECT_EQ(kExitFailed, gone.exitCode);
    EXPECT_EQ("VandrelService: the service \"Vandrel Service\" is not installed\n", gone.err);
    EXPECT_EQ(kExitFailed, Service("uninstall").exitCode);
    EXPECT_EQ(kExitFailed, Service("config --simulate").exitCode);
}

TEST_F(VandrelServiceCommands, BadInputGetsOneLineANonZeroExitAndChangesNothing) {
    for (char const* bad : {"install --nut rack@nas:65536", "instal"}) {
        RunResult const result = Service(bad);
        EXPECT_EQ(kExitUsage, result.exitCode) << bad;
        EXPECT_EQ(0u, result.err.find("VandrelService: ")) << bad << ": " << result.err;
        EXPECT_NE(std::string::npos, result.err.find("\nusage: ")) << "the line, then the usage";
    }
    EXPECT_FALSE(UniqueServiceHandle(::OpenServiceA(manager_.get(), vandrel::kServiceName, SERVICE_QUERY_STATUS)))
        << "nothing was installed";

    Install("");  // today's install: a simulation of on line
    RunResult const badConfig = Service("config --poll-ms 100");
    EXPECT_EQ(kExitUsage, badConfig.exitCode);
    EXPECT_EQ(badConfig.err.size() - 1, badConfig.err.find('\n')) << "one line: " << badConfig.err;
    vandrel::ServiceSettings stored;
    vandrel::ReadServiceSettings(stored);
    EXPECT_TRUE(stored == vandrel::ServiceSettings());
}

}  // namespace
