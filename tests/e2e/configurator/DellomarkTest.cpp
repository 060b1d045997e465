// The configuration program as a user drives it: fields typed in, Save
// pressed, and what lands in the service's Parameters key; a bad field's
// message beside it; a second start that only brings the dialog forward.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "configurator/resource.h"
#include "contract/ServiceContract.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "service/settings/StoredPassword.h"
#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/Process.h"
#include "tests/rigs/e2e/Pump.h"
#include "tests/rigs/e2e/TopLevelWindows.h"
#include "tests/rigs/nut/NutPeer.h"
#include "tests/rigs/service/ServiceRegistration.h"
#include "win32/UniqueHandle.h"

namespace agent_e2e {
namespace {

// The peer's ports where nothing listens, and where a server takes the
// connection and never answers.
std::string ClosedPort() { return std::to_string(nut_peer::ClosedAddress().port); }
std::string SilentPort() { return std::to_string(nut_peer::SilentAddress().port); }

e2e::WindowQuery const kDialog{"", DELLOMARK_DIALOG_CLASS, 0};


std::optional<std::string> ReadString(char const* name) {
    char value[256] = {};
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kParametersKeyPath, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(value);
}

std::optional<DWORD> ReadDword(char const* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kParametersKeyPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::optional<DWORD> ServiceProcessId() {
    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(manager ? ::OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS)
                                        : nullptr);
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!service || !::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                            sizeof status, &needed))
        return std::nullopt;
    return status.dwProcessId;
}

// The service's recent events as it keeps them in its State key.
void WriteRecentEvents(std::wstring const& multiString) {
    UniqueRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStateKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                               key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), L"RecentEvents", 0, REG_MULTI_SZ,
                                              reinterpret_cast<BYTE const*>(multiString.data()),
                                              static_cast<DWORD>(multiString.size() * sizeof(wchar_t))));
}

class Dellomark : public EndToEnd {
protected:
    // Starts the copy beside the agent and waits for its dialog.
    HWND StartDialog() {
        program_ = std::make_unique<e2e::Process>(e2e::Process::Start(agent_.ConfigurationPath(), ""));
        HWND dialog = e2e::WaitForWindow({"", DELLOMARK_DIALOG_CLASS, program_->Id()}, kWaitMs);
        if (dialog != nullptr) ::WaitForInputIdle(program_->Handle(), kWaitMs);
        return dialog;
    }

    // The program's own string `id`, as its resources hold it.
    std::wstring ProgramString(UINT id) {
        HMODULE module = ::LoadLibraryExA(agent_.ConfigurationPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) return L"";
        wchar_t text[512] = {};
        ::LoadStringW(module, id, text, 512);
        ::FreeLibrary(module);
        return text;
    }

    static void Type(HWND dialog, int id, char const* text) {
        ASSERT_TRUE(e2e::SendWithTimeout(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                                         kWaitMs));
    }

    // As an input method puts it there: UTF-16, whatever the ANSI code page.
    static void TypeWide(HWND dialog, int id, wchar_t const* text) {
        DWORD_PTR ignored = 0;
        ASSERT_TRUE(::SendMessageTimeoutW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                                          SMTO_NORMAL, kWaitMs, &ignored));
    }

    static void Click(HWND dialog, int id) {
        ASSERT_TRUE(e2e::SendWithTimeout(::GetDlgItem(dialog, id), BM_CLICK, 0, 0, kWaitMs).has_value());
    }

    // Chooses the NUT server as the source and fills its fields, as a user would.
    static void FillNut(HWND dialog, char const* upsName, char const* host, char const* port, char const* pollMs) {
        Click(dialog, IDC_SOURCE_NUT);
        Type(dialog, IDC_UPS_NAME, upsName);
        Type(dialog, IDC_HOST, host);
        Type(dialog, IDC_PORT, port);
        if (pollMs != nullptr) Type(dialog, IDC_POLL_MS, pollMs);
    }

    // `pattern` with its "%1" replaced by `argument`.
    static std::wstring Fill(std::wstring pattern, std::wstring const& argument) {
        size_t const at = pattern.find(L"%1");
        if (at != std::wstring::npos) pattern.replace(at, 2, argument);
        return pattern;
    }

    // `pattern` with "%1" and "%2" filled and "%%" made one "%", as the program does.
    static std::wstring Fill(std::wstring pattern, std::wstring const& first, std::wstring const& second) {
        pattern = Fill(pattern, first);
        size_t const at = pattern.find(L"%2");
        if (at != std::wstring::npos) pattern.replace(at, 2, second);
        for (size_t percent = pattern.find(L"%%"); percent != std::wstring::npos; percent = pattern.find(L"%%", percent + 1))
            pattern.erase(percent, 1);
        return pattern;
    }

    // Waits for the line under the fields to say something.
    static std::wstring WaitForStatus(HWND dialog) {
        std::wstring status;
        e2e::PumpUntil([&] { return !(status = e2e::TextOf(::GetDlgItem(dialog, IDC_STATUS_TEXT))).empty(); }, kWaitMs);
        return status;
    }

    // Runs a connection test until its result holds `line`; what it showed.
    static std::wstring TestUntilShown(HWND dialog, std::wstring const& line) {
        std::wstring shown;
        Click(dialog, IDC_TEST_CONNECTION);
        EXPECT_TRUE(e2e::PumpUntil(
            [&] { return (shown = e2e::TextOf(::GetDlgItem(dialog, IDC_TEST_RESULT))).find(line) != std::wstring::npos; },
            kWaitMs))
            << std::string(shown.begin(), shown.end());
        return shown;
    }

    std::unique_ptr<e2e::Process> program_;
};

// The service takes two seconds to stop: the dialog keeps answering and
// says how the restart went once it is over. The Shutdown group, greyed for
// the simulation, opens up for a server; its values go in with the rest,
// its password into the protected store (in UTF-8, as upsd.users holds it),
// and what the form does not show stays as it was.
TEST_F(Dellomark, SavesTheFieldsIntoTheParametersKeyAndRestartsTheRunningService) {
    ASSERT_EQ("", InstallService("--status 3 --stop-delay-ms 2000 --hostsync 120"));
    ASSERT_TRUE(StartServiceNow());
    ASSERT_EQ(DWORD{SERVICE_RUNNING}, WaitForServiceState(SERVICE_RUNNING, kWaitMs));
    std::optional<DWORD> const before = ServiceProcessId();

    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog) << "the dialog did not appear";
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_SHUTDOWN)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_TLS_CERTIFICATE)));
    FillNut(dialog, "rackups", "192.0.2.7", "3494", "1500");
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_SHUTDOWN)));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_TLS_CERTIFICATE)));
    Click(dialog, IDC_SHUTDOWN);
    Type(dialog, IDC_CHARGE_BELOW, "40");
    Type(dialog, IDC_GRACE, "45");
    ASSERT_TRUE(e2e::SendWithTimeout(::GetDlgItem(dialog, IDC_ACTION), CB_SETCURSEL, 1, 0, kWaitMs).has_value());
    Type(dialog, IDC_LOGIN, "mon");
    TypeWide(dialog, IDC_PASSWORD, L"s\u00e9cret-\u65e5\u672c");  // in code page 1252 and outside it
    HWND notify = ::GetDlgItem(dialog, IDC_NOTIFY);
    EXPECT_EQ(1, e2e::SendWithTimeout(notify, CB_GETCURSEL, 0, 0, kWaitMs).value_or(-1)) << "the stored critical";
    ASSERT_TRUE(e2e::SendWithTimeout(notify, CB_SETCURSEL, 2, 0, kWaitMs).has_value());
    Click(dialog, IDC_SAVE);

    HWND status = ::GetDlgItem(dialog, IDC_STATUS_TEXT);
    std::wstring const restarting = ProgramString(IDS_RESTARTING);
    ASSERT_TRUE(e2e::PumpUntil([] { return ServiceState() == DWORD{SERVICE_STOP_PENDING}; }, kWaitMs));
    EXPECT_TRUE(e2e::SendWithTimeout(dialog, WM_NULL, 0, 0, 500).has_value()) << "the dialog froze";
    EXPECT_EQ(restarting, e2e::TextOf(status));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_SAVE)));

    EXPECT_TRUE(e2e::PumpUntil([&] { return e2e::TextOf(status) != restarting; }, kWaitMs));
    EXPECT_EQ(ProgramString(IDS_SAVED_RESTARTED), e2e::TextOf(status));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_SAVE)));
    EXPECT_EQ("nut", ReadString("Source").value_or("(none)"));
    EXPECT_EQ("rackups", ReadString("UpsName").value_or("(none)"));
    EXPECT_EQ("192.0.2.7", ReadString("Host").value_or("(none)"));
    EXPECT_EQ(3494u, ReadDword("Port").value_or(0));
    EXPECT_EQ(1500u, ReadDword("PollMs").value_or(0));
    EXPECT_EQ("critical", ReadString("Shutdown").value_or("(none)"));
    EXPECT_EQ(45u, ReadDword("GraceSeconds").value_or(0));
    EXPECT_EQ(40u, ReadDword("ChargeBelowPercent").value_or(0));
    EXPECT_EQ(120u, ReadDword("HostsyncSeconds").value_or(0));
    EXPECT_EQ("hibernate", ReadString("Action").value_or("(none)"));
    EXPECT_EQ("mon", ReadString("Login").value_or("(none)"));
    EXPECT_EQ("try", ReadString("Tls").value_or("(none)"));
    EXPECT_EQ("all", ReadString("Notify").value_or("(none)"));
    std::string password;
    EXPECT_EQ(DWORD{ERROR_SUCCESS}, vandrel::ReadPassword(password));
    EXPECT_EQ("s\xC3\xA9" "cret-\xE6\x97\xA5\xE6\x9C\xAC", password);
    for (int id : {IDC_UPS_NAME_ERROR, IDC_HOST_ERROR, IDC_PORT_ERROR, IDC_POLL_MS_ERROR, IDC_CHARGE_BELOW_ERROR,
                   IDC_PASSWORD_ERROR})
        EXPECT_EQ(L"", e2e::TextOf(::GetDlgItem(dialog, id)));

    std::optional<DWORD> const after = ServiceProcessId();
    ASSERT_TRUE(before && after);
    EXPECT_NE(*before, *after) << "the service was not restarted";
}

TEST_F(Dellomark, ABadPortIsNamedBesideThePortFieldAndNothingIsSaved) {
    ASSERT_EQ("", InstallService("--status 3"));
    std::optional<std::string> const source = ReadString("Source");
    std::optional<DWORD> const port = ReadDword("Port");
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    FillNut(dialog, "rackups", "nas", "70000", "2000");
    Type(dialog, IDC_TLS_CERTIFICATE, "12:34");
    Click(dialog, IDC_SAVE);

    EXPECT_EQ(ProgramString(IDS_FIX_FIELDS), WaitForStatus(dialog));
    EXPECT_EQ(ProgramString(IDS_ERROR_PORT_RANGE), e2e::TextOf(::GetDlgItem(dialog, IDC_PORT_ERROR)));
    EXPECT_EQ(ProgramString(IDS_ERROR_PIN), e2e::TextOf(::GetDlgItem(dialog, IDC_TLS_CERTIFICATE_ERROR)));
    for (int id : {IDC_UPS_NAME_ERROR, IDC_HOST_ERROR, IDC_POLL_MS_ERROR, IDC_TLS_NAME_ERROR})
        EXPECT_EQ(L"", e2e::TextOf(::GetDlgItem(dialog, id)));
    EXPECT_EQ(source, ReadString("Source"));
    EXPECT_EQ(port, ReadDword("Port"));
}

// Garbage where a number belongs: the dialog still opens, with the default
// in the field and a word about the value it ignored.
TEST_F(Dellomark, OpensOverGarbageInTheKeyAndSaysWhichValueItIgnored) {
    ASSERT_EQ("", InstallService("--status 3"));
    {
        UniqueRegistryKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParametersKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                                                   nullptr, key.put(), nullptr));
        char const garbage[] = "not a port";
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key.get(), "Port", 0, REG_SZ,
                                                  reinterpret_cast<BYTE const*>(garbage), sizeof garbage));
    }
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog) << "the dialog did not open over a bad key";
    EXPECT_EQ(L"3493", e2e::TextOf(::GetDlgItem(dialog, IDC_PORT)));
    EXPECT_NE(std::wstring::npos, WaitForStatus(dialog).find(L"Port"));
}

// The peer's upsd.users holds the secondary "mon", password "secret": with
// it the test says the primary waits for this PC, with another why not.
TEST_F(Dellomark, TheConnectionTestSaysWhyItFailedAndWhetherThePrimaryWaits) {
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    FillNut(dialog, "ups", "127.0.0.1", ClosedPort().c_str(), nullptr);
    Click(dialog, IDC_TEST_CONNECTION);

    std::wstring const expected = Fill(ProgramString(IDS_READING_FAILED), ProgramString(IDS_FAILURE_REFUSED));
    std::wstring shown;
    EXPECT_TRUE(e2e::PumpUntil([&] { return (shown = e2e::TextOf(::GetDlgItem(dialog, IDC_TEST_RESULT))) == expected; },
                               kWaitMs))
        << std::string(shown.begin(), shown.end());
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_TEST_CONNECTION))) << "a second test cannot be started";

    nut_peer::Reset();
    FillNut(dialog, "testups", "127.0.0.1", std::to_string(nut_peer::Address().port).c_str(), nullptr);
    Click(dialog, IDC_SHUTDOWN);
    Type(dialog, IDC_LOGIN, "mon");
    Type(dialog, IDC_PASSWORD, "secret");
    shown = TestUntilShown(dialog, ProgramString(IDS_LOGIN_ACCEPTED));
    EXPECT_NE(std::wstring::npos, shown.find(ProgramString(IDS_LINK_CLEAR_LOGIN))) << "upsd offers no TLS here";
    Type(dialog, IDC_PASSWORD, "not secret");
    TestUntilShown(dialog, Fill(ProgramString(IDS_LOGIN_REFUSED), ProgramString(IDS_LOGIN_ACCESS_DENIED)));

    Click(dialog, IDC_SHUTDOWN);  // off: this PC is no secondary, so no login line
    std::wstring const clear = ProgramString(IDS_LINK_CLEAR);
    shown = TestUntilShown(dialog, clear);
    EXPECT_EQ(shown.size() - clear.size(), shown.rfind(clear)) << std::string(shown.begin(), shown.end());
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_TRUST_CERTIFICATE)));
}

// upsd offering STARTTLS: "When offered" with no certificate gets an
// encrypted link that nothing checked; trusting it pins that certificate,
// the next test verifies it, and Save stores the pin.
TEST_F(Dellomark, TrustingTheCertificateATestFoundPinsItAndSaveStoresIt) {
    ASSERT_EQ("", InstallService("--status 3"));
    nut_peer::Run("serve-tls");
    std::string fingerprint = nut_peer::FileText("tls/server.sha256");
    fingerprint.resize(fingerprint.find_first_of("\r\n"));
    std::wstring const wideFingerprint(fingerprint.begin(), fingerprint.end());
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    // The certificate names localhost, and Wine matches names only.
    FillNut(dialog, "testups", "localhost", std::to_string(nut_peer::Address().port).c_str(), nullptr);
    ASSERT_TRUE(e2e::SendWithTimeout(::GetDlgItem(dialog, IDC_TLS_MODE), CB_SETCURSEL, 1, 0, kWaitMs).has_value());
    TestUntilShown(dialog, Fill(ProgramString(IDS_LINK_NOT_CHECKED), wideFingerprint));
    ASSERT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_TRUST_CERTIFICATE)));
    Click(dialog, IDC_TRUST_CERTIFICATE);
    EXPECT_EQ(wideFingerprint, e2e::TextOf(::GetDlgItem(dialog, IDC_TLS_CERTIFICATE)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_TRUST_CERTIFICATE)));

    std::wstring verified = Fill(ProgramString(IDS_LINK_VERIFIED), L"TLS 1.2");
    TestUntilShown(dialog, verified.replace(verified.find(L"%2"), 2, L"CN=localhost"));
    Click(dialog, IDC_SAVE);
    std::wstring shown;
    EXPECT_TRUE(e2e::PumpUntil([&] { return (shown = WaitForStatus(dialog)) == ProgramString(IDS_SAVED); }, kWaitMs))
        << std::string(shown.begin(), shown.end());
    EXPECT_EQ(fingerprint, ReadString("TlsPin").value_or("(none)"));
    EXPECT_EQ("try", ReadString("Tls").value_or("(none)"));
    EXPECT_EQ("", ReadString("TlsCa").value_or("(none)"));
    nut_peer::Reset();  // plain upsd again for the tests after
}

TEST_F(Dellomark, ClosingWhileTheServerIsSilentEndsTheProgramCleanly) {
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    FillNut(dialog, "ups", "127.0.0.1", SilentPort().c_str(), nullptr);
    Click(dialog, IDC_TEST_CONNECTION);

    EXPECT_EQ(ProgramString(IDS_TEST_RUNNING), e2e::TextOf(::GetDlgItem(dialog, IDC_TEST_RESULT)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_TEST_CONNECTION)));
    EXPECT_TRUE(e2e::SendWithTimeout(dialog, WM_NULL, 0, 0, kWaitMs).has_value()) << "the dialog froze";

    ASSERT_TRUE(::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0));
    EXPECT_EQ(DWORD{0}, program_->WaitForExit(kWaitMs).value_or(~DWORD{0}));
}

// The service's last reading, each value in the program's own words; what
// the UPS does not report stays unknown. Newest event first, a damaged line
// left out. Once the block is gone, the area says the service stopped.
TEST_F(Dellomark, TheStatusAreaShowsTheLastReadingAndThenThatTheServiceStopped) {
    ReadingRecord record;
    record.flags = kReadingAnswered | kReadingHasCharge | kReadingHasRuntime | kReadingHasInputVoltage | kReadingEncrypted;
    record.charge = 87;
    record.runtimeSeconds = 3900;
    record.inputDeciVolts = 2304;
    record.status = "OB DISCHRG";
    record.manufacturer = "Kestrel";
    record.model = "Rack 1500";
    record.server = "testups@127.0.0.1:3493";
    record.protectionState = kProtectionArmed;
    record.protectionDetail = "critical, login mon";
    perimand_test::StatusBlockDouble block;
    ASSERT_TRUE(block.PublishReading(kWordOnBattery, record));
    WriteRecentEvents(std::wstring(L"2026-12-10T05:31:00Z\tPowerBack\tnewer\0garbage\0", 45) +
                      L"2026-12-10T05:30:00Z\tOnBattery\tolder" + std::wstring(2, L'\0'));

    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    auto shown = [&](int id) { return e2e::TextOf(::GetDlgItem(dialog, id)); };
    EXPECT_TRUE(e2e::PumpUntil([&] { return shown(IDC_UPS_STATE) == ProgramString(IDS_STATE_ON_BATTERY); }, kWaitMs));
    std::wstring const unknown = ProgramString(IDS_VALUE_UNKNOWN);
    EXPECT_EQ(Fill(ProgramString(IDS_PERCENT), L"87", L""), shown(IDC_UPS_CHARGE));
    EXPECT_EQ(Fill(ProgramString(IDS_RUNTIME_HOURS), L"1", L"05"), shown(IDC_UPS_RUNTIME));
    EXPECT_EQ(Fill(ProgramString(IDS_VOLTS), L"230.4"), shown(IDC_UPS_INPUT_VOLTAGE));
    EXPECT_EQ(unknown, shown(IDC_UPS_LOAD));
    EXPECT_EQ(unknown, shown(IDC_UPS_OUTPUT_VOLTAGE));
    EXPECT_EQ(L"Kestrel Rack 1500", shown(IDC_UPS_MODEL));
    EXPECT_EQ(Fill(ProgramString(IDS_SERVER_NOT_VERIFIED), L"testups@127.0.0.1:3493"), shown(IDC_UPS_SERVER));
    EXPECT_EQ(Fill(ProgramString(IDS_PROTECTION_ARMED), L"critical, login mon"), shown(IDC_UPS_PROTECTION));
    std::wstring const events = shown(IDC_UPS_EVENTS);
    EXPECT_LT(events.find(L"  newer"), events.find(L"  older")) << std::string(events.begin(), events.end());
    EXPECT_EQ(std::wstring::npos, events.find(L"garbage"));
    EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kStateKeyPath, "RecentEvents"));

    block.Clear();
    EXPECT_TRUE(
        e2e::PumpUntil([&] { return shown(IDC_UPS_STATE) == ProgramString(IDS_STATE_SERVICE_STOPPED); }, kWaitMs));
    EXPECT_EQ(unknown, shown(IDC_UPS_CHARGE)) << "a stopped service's last numbers are not shown as current";
    EXPECT_EQ(unknown, shown(IDC_UPS_SERVER));
}

TEST_F(Dellomark, ASecondStartBringsTheOpenDialogForwardAndEnds) {
    HWND dialog = StartDialog();
    ASSERT_NE(nullptr, dialog);
    e2e::TestWindow other("Dellomark e2e other window");
    ::ShowWindow(other.get(), SW_SHOW);
    ASSERT_TRUE(e2e::PumpUntil([&] { return ::SetForegroundWindow(other.get()) && ::GetForegroundWindow() == other.get(); },
                               kWaitMs));

    e2e::Process second = e2e::Process::Start(agent_.ConfigurationPath(), "");
    EXPECT_EQ(DWORD{0}, second.WaitForExit(kWaitMs).value_or(~DWORD{0}));
    EXPECT_TRUE(e2e::PumpUntil([&] { return ::GetForegroundWindow() == dialog; }, kWaitMs));
    EXPECT_EQ(1u, e2e::FindTopLevelWindows(kDialog).size());
    EXPECT_TRUE(program_->IsRunning());
}

}  // namespace
}  // namespace agent_e2e
