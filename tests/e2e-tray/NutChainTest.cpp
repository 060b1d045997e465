// The whole chain with a real UPS server: dummy-ups -> upsd on the host ->
// the installed service under Wine's Service Control Manager -> the status
// block -> the agent's tray icon.
#include "tests/e2e-tray/TrayRig.h"

#include "companions/common/ServiceSettings.h"
#include "companions/nut/NutClient.h"
#include "res/resource.h"
#include "tests/integration/service/InstalledService.h"
#include "tests/support/nut/NutPeer.h"
#include "tests/support/status/SharedNamesLock.h"

namespace {

class NutChain : public tray_e2e::TrayEndToEnd {
protected:
    void SetUp() override {
        ASSERT_TRUE(names_.held());
        nut_peer::Reset();
        service_test::Service("uninstall");
        TrayEndToEnd::SetUp();
        std::string const ups = nut::FormatUpsAddress(nut_peer::Address());
        perimand_test::RunResult const install = service_test::Service("install --nut " + ups + " --poll-ms 500");
        ASSERT_EQ(0u, install.exitCode) << install.err;
    }
    void TearDown() override { service_test::Service("uninstall"); }

    bool StartService() {
        UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        UniqueServiceHandle service(
            manager ? ::OpenServiceA(manager.get(), vandrel::kServiceName, SERVICE_START) : nullptr);
        return service && ::StartServiceA(service.get(), 0, nullptr);
    }

    // Changes the UPS (or the server) and expects the icon to follow.
    void Expect(char const* peerCommand, char const* arguments, std::wstring const& tip, UINT iconId) {
        size_t const from = tray_->Count();  // before: the change may show at once
        nut_peer::Run(peerCommand, arguments);
        ExpectShown(from, tip, iconId);
    }

    perimand_test::SharedNamesLock names_;
};

TEST_F(NutChain, TheTrayShowsWhatUpsdServesUntilTheServiceStops) {
    StartAgent();
    ASSERT_TRUE(WaitFor(NIM_ADD, 0).has_value());
    size_t const started = tray_->Count();
    ASSERT_TRUE(StartService()) << ::GetLastError();
    ExpectShown(started, L"On Line Battery Normal", IDI_ON_LINE);

    Expect("set-status", "'OB DISCHRG' 80", L"AC Fail Battery Normal", IDI_ON_BATTERY);
    Expect("set-status", "'OB DISCHRG LB' 20", L"On Line Battery Low", IDI_ON_BATTERY);
    Expect("set-status", "'OL CHRG' 25", L"On Line Battery Normal", IDI_ON_LINE);
    Expect("kill-driver", "", L"Communication lost", IDI_COMMUNICATION_LOST);

    size_t const beforeStop = tray_->Count();
    ASSERT_EQ(0u, service_test::Service("uninstall").exitCode);
    ExpectShown(beforeStop, L"Agent Stop", IDI_AGENT_STOP);
}

}  // namespace
