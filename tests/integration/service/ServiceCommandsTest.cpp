// VandrelService's commands against Wine's real Service Control Manager and
// registry: install, status, config on a running service, uninstall, the
// refusals, and a stop while the NUT server it reads says nothing.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/UniqueHandle.h"
#include "companions/common/ServiceSettings.h"
#include "tests/support/e2e/TempFolder.h"
#include "tests/support/e2e/Process.h"
#include "tests/support/status/SharedNamesLock.h"
#include "tests/support/status/StatusBlockDouble.h"

namespace {

using perimand_test::ReadLikeAgent;
using e2e::RunResult;

DWORD const kRunTimeoutMs = 60000;
DWORD const kStateTimeoutMs = 15000;
DWORD const kPollMs = 25;
DWORD const kExitFailed = 1;
DWORD const kExitUsage = 2;
// Ports of this test's own; nothing listens on the first.
char const kNobodyListens[] = "rack@127.0.0.1:34940";
u_short const kSilentServerPort = 34941;

// Output with "\r\n" read as "\n": the program writes in text mode.
RunResult Service(std::string const& arguments) {
    RunResult result = e2e::RunProgram(e2e::HostPathToWindows(VANDREL_SERVICE_EXE), arguments, kRunTimeoutMs);
    for (std::string* text : {&result.out, &result.err}) {
        std::string lines;
        for (char const c : *text)
            if (c != '\r') lines += c;
        *text = lines;
    }
    return result;
}

bool OneLine(std::string const& text) {
    size_t const newline = text.find('\n');
    return newline != std::string::npos && newline + 1 == text.size();
}

struct Registration {
    UniqueServiceHandle manager{::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    UniqueServiceHandle service{manager ? ::OpenServiceA(manager.get(), vandrel::kServiceName, SERVICE_ALL_ACCESS)
                                        : nullptr};
};

DWORD WaitForState(SC_HANDLE service, DWORD state) {
    ULONGLONG const end = ::GetTickCount64() + kStateTimeoutMs;
    SERVICE_STATUS status = {};
    while (::QueryServiceStatus(service, &status) && status.dwCurrentState != state && ::GetTickCount64() < end)
        ::Sleep(kPollMs);
    return status.dwCurrentState;
}

// The status word the block holds once it shows `word`, or the last one seen.
uint32_t WaitForWord(uint32_t word) {
    ULONGLONG const end = ::GetTickCount64() + kStateTimeoutMs;
    uint32_t seen = 0;
    do {
        perimand_test::AgentRead const read = ReadLikeAgent();
        seen = read.copied ? read.words.statusWord : 0;
        if (seen == word) break;
        ::Sleep(kPollMs);
    } while (::GetTickCount64() < end);
    return seen;
}

class VandrelServiceCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(names_.held());
        Service("uninstall");  // whatever an earlier run left
    }
    void TearDown() override { Service("uninstall"); }

    perimand_test::SharedNamesLock names_;
};

TEST_F(VandrelServiceCommands, InstallStatusConfigAndUninstallWorkOnTheRealRegistration) {
    RunResult const install = Service("install --simulate --status 2");
    ASSERT_EQ(0u, install.exitCode) << install.err;
    vandrel::ServiceSettings stored;
    ASSERT_TRUE(vandrel::ReadServiceSettings(stored).clean());
    EXPECT_EQ(2u, stored.simulation.statusWord);

    RunResult const stopped = Service("status");
    EXPECT_EQ(0u, stopped.exitCode) << stopped.err;
    EXPECT_NE(std::string::npos, stopped.out.find("is stopped; settings: simulate --status 2")) << stopped.out;
    EXPECT_NE(std::string::npos, stopped.out.find("simulated -> word 2")) << stopped.out;
    {
        Registration r;
        ASSERT_TRUE(r.service);
        ASSERT_TRUE(::StartServiceA(r.service.get(), 0, nullptr)) << ::GetLastError();
        ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(r.service.get(), SERVICE_RUNNING));
        EXPECT_EQ(2u, WaitForWord(2));

        // The running service follows its key, without a restart.
        RunResult const config = Service("config --script 1,3@200");
        EXPECT_EQ(0u, config.exitCode) << config.err;
        EXPECT_EQ(1u, WaitForWord(1));
        EXPECT_EQ(3u, WaitForWord(3));
        RunResult const toNut = Service(std::string("config --nut ") + kNobodyListens);
        EXPECT_EQ(0u, toNut.exitCode) << toNut.err;
        EXPECT_EQ(4u, WaitForWord(4)) << "no NUT server: no connection";

        RunResult const running = Service("status");
        EXPECT_EQ(kExitFailed, running.exitCode) << "no reading from a server that is not there";
        EXPECT_NE(std::string::npos, running.out.find("is running; settings: nut rack@127.0.0.1:34940")) << running.out;
        EXPECT_NE(std::string::npos, running.out.find("rack@127.0.0.1:34940 ")) << running.out;
        EXPECT_NE(std::string::npos, running.out.find("-> word 4\npublished: word 4, charge 0")) << running.out;
        SERVICE_STATUS status{};
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING),
                  ::QueryServiceStatus(r.service.get(), &status) ? status.dwCurrentState : 0);
    }  // an open handle keeps a deleted service registered
    RunResult const uninstall = Service("uninstall");
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.err;
    EXPECT_FALSE(ReadLikeAgent().mappingOpened);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), vandrel::ReadServiceSettings(stored).keyError);

    RunResult const gone = Service("status");
    EXPECT_EQ(kExitFailed, gone.exitCode);
    EXPECT_EQ("VandrelService: the service \"Vandrel Service\" is not installed\n", gone.err);
    EXPECT_EQ(kExitFailed, Service("uninstall").exitCode);
    EXPECT_EQ(kExitFailed, Service("config --simulate").exitCode);
}

TEST_F(VandrelServiceCommands, BadInputGetsOneLineANonZeroExitAndChangesNothing) {
    for (char const* bad : {"install --nut @nas", "install --nut rack@nas:65536", "install --nut rack@nas:0",
                            "install --simulate --verbose", "install --nut rack@nas --status 2", "instal"}) {
        RunResult const result = Service(bad);
        EXPECT_EQ(kExitUsage, result.exitCode) << bad;
        // The line, then the usage text.
        EXPECT_EQ(0u, result.err.find("VandrelService: ")) << bad << ": " << result.err;
        EXPECT_NE(std::string::npos, result.err.find("\nusage: ")) << bad;
    }
    EXPECT_FALSE(Registration().service) << "nothing was installed";

    ASSERT_EQ(0u, Service("install").exitCode) << "today's install: a simulation of on line";
    RunResult const badConfig = Service("config --poll-ms 100");
    EXPECT_EQ(kExitUsage, badConfig.exitCode);
    EXPECT_TRUE(OneLine(badConfig.err)) << badConfig.err;
    vandrel::ServiceSettings stored;
    vandrel::ReadServiceSettings(stored);
    EXPECT_TRUE(stored == vandrel::ServiceSettings());
    RunResult const twice = Service("install --simulate");
    EXPECT_EQ(kExitFailed, twice.exitCode);
    EXPECT_TRUE(OneLine(twice.err)) << twice.err;
}

// A server that accepts connections (into its backlog) and never says a word.
class SilentServer {
public:
    SilentServer() {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = ::htons(kSilentServerPort);
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        listening_ = socket_ != INVALID_SOCKET &&
                     ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::listen(socket_, 8) == 0;
    }
    ~SilentServer() {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
        if (started_) ::WSACleanup();
    }
    SilentServer(SilentServer const&) = delete;
    SilentServer& operator=(SilentServer const&) = delete;
    bool listening() const { return listening_; }

private:
    bool started_ = false;
    bool listening_ = false;
    SOCKET socket_ = INVALID_SOCKET;
};

TEST_F(VandrelServiceCommands, AServiceReadingASilentNutServerStillStopsWhenAsked) {
    SilentServer server;
    ASSERT_TRUE(server.listening());
    ASSERT_EQ(0u, Service("install --nut rack@127.0.0.1:34941 --poll-ms 500").exitCode);
    Registration r;
    ASSERT_TRUE(r.service);
    ASSERT_TRUE(::StartServiceA(r.service.get(), 0, nullptr)) << ::GetLastError();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), WaitForState(r.service.get(), SERVICE_RUNNING));
    EXPECT_EQ(4u, WaitForWord(4));
    ::Sleep(700);  // into a request that will not be answered

    ULONGLONG const asked = ::GetTickCount64();
    SERVICE_STATUS status{};
    ASSERT_TRUE(::ControlService(r.service.get(), SERVICE_CONTROL_STOP, &status)) << ::GetLastError();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(r.service.get(), SERVICE_STOPPED));
    std::printf("stopped %llu ms after the request (wait hint %lu ms)\n",
                static_cast<unsigned long long>(::GetTickCount64() - asked),
                static_cast<unsigned long>(status.dwWaitHint));
    EXPECT_FALSE(ReadLikeAgent().mappingOpened);
}

}  // namespace
