// The whole chain with a real UPS server: dummy-ups -> upsd on the host ->
// the installed service under Wine's Service Control Manager -> the status
// block -> the agent's tray icon.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "nut/NutClient.h"
#include "res/resource.h"
#include "service/settings/ServiceSettings.h"
#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/nut/NutPeer.h"
#include "tests/rigs/service/InstalledService.h"

namespace agent_e2e {
namespace {

using fake_tray::Notification;

class NutChain : public EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        nut_peer::Reset();
        std::string const ups = nut::FormatUpsAddress(nut_peer::Address());
        e2e::RunResult const install = service_test::Service("install --nut " + ups + " --poll-ms 500");
        ASSERT_EQ(0u, install.exitCode) << install.err;
    }
    void TearDown() override { service_test::Service("uninstall"); }

    static bool StartService() {
        UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        UniqueServiceHandle service(
            manager ? ::OpenServiceA(manager.get(), kServiceName, SERVICE_START) : nullptr);
        return service && ::StartServiceA(service.get(), 0, nullptr);
    }

    // A modification from index `from` on showing `tip` with icon `iconId`.
    void ExpectShown(size_t from, std::wstring const& tip, UINT iconId) {
        SCOPED_TRACE(e2e::Utf8(tip));
        std::optional<fake_tray::FakeTray::Found> const seen = agent_.WaitForNotice(
            [&](Notification const& n) { return n.action == NIM_MODIFY && n.tip == tip; }, from);
        ASSERT_TRUE(seen.has_value()) << "the tooltip did not follow the UPS";
        EXPECT_EQ(agent_.IconHash(iconId), seen->notification.iconHash);
    }

    // Changes the UPS (or the server) and expects the icon to follow.
    void Expect(char const* peerCommand, char const* arguments, std::wstring const& tip, UINT iconId) {
        size_t const from = agent_.Tray().Count();  // before: the change may show at once
        nut_peer::Run(peerCommand, arguments);
        ExpectShown(from, tip, iconId);
    }
};

// OL -> OB DISCHRG -> OB DISCHRG LB -> OL CHRG, then a lost driver, a stale
// one and a restarted server, each shown and recovered from.
TEST_F(NutChain, TheTrayShowsWhatUpsdServesUntilTheServiceStops) {
    ASSERT_TRUE(agent_.Start());
    ASSERT_TRUE(agent_.WaitForTray(NIM_ADD).has_value());
    size_t const started = agent_.Tray().Count();
    ASSERT_TRUE(StartService()) << ::GetLastError();
    ExpectShown(started, Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), IDI_ON_LINE);

    Expect("set-status", "'OB DISCHRG' 80", Tip(IDS_AC_FAIL, IDS_BATTERY_NORMAL), IDI_ON_BATTERY);
    Expect("set-status", "'OB DISCHRG LB' 20", Tip(IDS_ON_LINE, IDS_BATTERY_LOW), IDI_ON_BATTERY);
    Expect("set-status", "'OL CHRG' 25", Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), IDI_ON_LINE);
    Expect("kill-driver", "", Tip(IDS_COMMUNICATION_LOST), IDI_COMMUNICATION_LOST);
    Expect("start-driver", "", Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), IDI_ON_LINE);
    // A driver that stops answering: upsd calls its data stale after MAXAGE.
    Expect("freeze", "", Tip(IDS_COMMUNICATION_LOST), IDI_COMMUNICATION_LOST);
    Expect("thaw", "", Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), IDI_ON_LINE);
    // The server goes away and comes back: the service reconnects by itself.
    Expect("stop-server", "", Tip(IDS_COMMUNICATION_LOST), IDI_COMMUNICATION_LOST);
    Expect("start-server", "", Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL), IDI_ON_LINE);

    size_t const beforeStop = agent_.Tray().Count();
    ASSERT_EQ(0u, service_test::Service("uninstall").exitCode);
    ExpectShown(beforeStop, Tip(IDS_AGENT_STOP), IDI_AGENT_STOP);
}

}  // namespace
}  // namespace agent_e2e
