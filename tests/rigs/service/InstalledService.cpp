#include "tests/rigs/service/InstalledService.h"

#include "service/settings/ServiceSettings.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "tests/rigs/e2e/TempFolder.h"
#include "tests/rigs/service/ServiceRegistration.h"

namespace service_test {
namespace {

DWORD const kRunTimeoutMs = 60000;
// Long enough for a NUT reconnect after a few rounds of back-off.
DWORD const kChangeTimeoutMs = 45000;
DWORD const kPollMs = 25;

}  // namespace

e2e::RunResult Service(std::string const& arguments, std::string const& input) {
    e2e::RunResult result =
        e2e::RunProgram(e2e::HostPathToWindows(VANDREL_SERVICE_EXE), arguments, kRunTimeoutMs, input);
    for (std::string* text : {&result.out, &result.err}) {
        std::string lines;
        for (char const c : *text)
            if (c != '\r') lines += c;
        *text = lines;
    }
    return result;
}

void InstalledService::SetUp() {
    ASSERT_TRUE(names_.held());
    ASSERT_TRUE(manager_);
    Service("uninstall");  // whatever an earlier run left
}

void InstalledService::TearDown() {
    service_.reset();
    Service("uninstall");
}

void InstalledService::Install(std::string const& options, std::string const& input) {
    e2e::RunResult const install = Service("install " + options, input);
    ASSERT_EQ(0u, install.exitCode) << install.err;
    service_.reset(::OpenServiceA(manager_.get(), kServiceName, SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service_);
}

bool InstalledService::Start() { return StartServiceNow(); }

bool InstalledService::Stop() {
    SERVICE_STATUS status{};
    return ::ControlService(service_.get(), SERVICE_CONTROL_STOP, &status) != FALSE;
}

DWORD InstalledService::WaitForState(DWORD state) {
    return WaitForServiceState(state, kChangeTimeoutMs).value_or(0);
}

StatusSnapshot InstalledService::WaitForWord(uint32_t word) {
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

}  // namespace service_test
