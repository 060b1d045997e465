// The agent under a Japanese user: it runs in code page 932, its tooltips,
// tray menu and version dialog come from the Japanese resources, and it
// still obeys "stop". Registered to run only under the Japanese locale.
#include <windows.h>
#include <shellapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "configurator/resource.h"
#include "res/resource.h"
#include "tests/doubles/status/StatusBlockDouble.h"
#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

using ::testing::IsEmpty;

constexpr UINT kShiftJis = 932;
using e2e::kJapanese;

class Japanese : public EndToEnd {
protected:
    void SetUp() override {
        // Without the generated locale Wine quietly runs in English.
        ASSERT_EQ(kShiftJis, ::GetACP()) << "the Japanese locale is missing; the agent would fall back to English";
        EndToEnd::SetUp();
    }
};

TEST_F(Japanese, AgentRunsInCodePage932JoinsJapaneseTooltipsAndObeysStop) {
    perimand_test::StatusBlockDouble block;
    ASSERT_TRUE(agent_.Start());
    auto const report = e2e::AskProbe<e2e::WindowReport>(agent_.Window());
    ASSERT_TRUE(report) << "the probe inside the agent did not answer";
    EXPECT_EQ(kShiftJis, report->codePage);
    EXPECT_EQ(kJapanese, report->uiLanguage);
    EXPECT_STREQ(kAgentWindowTitle, report->title);

    // Through the ANSI call in code page 932, as the tray sees it.
    EXPECT_TRUE(agent_.WaitForTip(Tip(IDS_AGENT_STOP, 0, kJapanese))) << "no Japanese Agent Stop tip";
    ASSERT_TRUE(block.Publish(3));
    EXPECT_TRUE(agent_.WaitForTip(Tip(IDS_ON_LINE, IDS_BATTERY_NORMAL, kJapanese)));

    e2e::Finished const stop = agent_.RunToEnd(" stop");

    EXPECT_EQ(std::optional<DWORD>(0), stop.exitCode) << "the stop process did not end, or failed";
    EXPECT_THAT(stop.createdWindows, IsEmpty());
    EXPECT_EQ(std::optional<DWORD>(0), agent_.WaitForExit()) << "the agent kept running after \"stop\"";
}

TEST_F(Japanese, TrayMenuAndVersionDialogAreJapanese) {
    ASSERT_TRUE(agent_.Start());
    HWND menu = agent_.OpenTrayMenu();
    ASSERT_NE(nullptr, menu);
    std::optional<e2e::MenuReport> const read = agent_.ReadMenu();
    ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);

    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(kShiftJis, read->codePage);
    std::vector<e2e::MenuItem> const items = e2e::ItemsOf(*read);
    std::vector<std::wstring> const texts = e2e::AgentMenuTexts(IDR_TRAY_MENU, kJapanese);
    ASSERT_EQ(5u, items.size());
    ASSERT_EQ(5u, texts.size());
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(texts[i], items[i].text) << i;

    EXPECT_TRUE(agent_.WaitForMenuClosed());
    agent_.PostCommand(ID_VERSION_INFORMATION);
    HWND dialog = agent_.WaitForDialog();
    ASSERT_NE(nullptr, dialog) << "no version dialog";

    EXPECT_EQ(e2e::AgentDialogCaption(IDD_ABOUTBOX, kJapanese), e2e::TextOf(dialog));
    EXPECT_EQ(e2e::AgentString(IDS_VERSION_LINE, kJapanese), e2e::TextOf(::GetDlgItem(dialog, IDC_VERSION_TEXT)));
    EXPECT_EQ(e2e::AgentString(IDS_LEGAL_NOTICE, kJapanese), e2e::TextOf(::GetDlgItem(dialog, IDC_LEGAL_TEXT)));

    ::PostMessageA(::GetDlgItem(dialog, IDC_ABOUT_OK), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitForWindowGone(dialog, kWaitMs));
}

// The status area too: the state and the protection's count-down in
// Japanese, around the service's own detail.
TEST_F(Japanese, ConfigurationDialogItsStatusAreaAndItsFieldMessagesAreJapanese) {
    ReadingRecord record;
    record.flags = kReadingAnswered;
    record.status = "OB DISCHRG";
    record.protectionState = kProtectionShuttingDown;
    record.protectionDetail = "battery low";
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    record.protectionDueUtc = (std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) + 600 * 10000000ull;
    perimand_test::StatusBlockDouble block;
    ASSERT_TRUE(block.PublishReading(kWordOnBattery, record));

    e2e::Process program = e2e::Process::Start(agent_.ConfigurationPath(), "");
    HWND dialog = e2e::WaitForWindow({"", DELLOMARK_DIALOG_CLASS, program.Id()}, kWaitMs);
    ASSERT_NE(nullptr, dialog) << "no configuration dialog";
    EXPECT_EQ(L"Dellomark - UPS サービスの設定", e2e::TextOf(dialog));
    auto shown = [&](int id) { return e2e::TextOf(::GetDlgItem(dialog, id)); };
    EXPECT_TRUE(e2e::PumpUntil([&] { return shown(IDC_UPS_STATE) == L"バッテリで運転中"; }, kWaitMs));
    std::wstring const protection = shown(IDC_UPS_PROTECTION);
    std::wstring const after = L" 秒後にシャットダウンします (battery low)";
    EXPECT_TRUE(protection == L"600" + after || protection == L"599" + after)  // counted down from its own clock
        << std::string(protection.begin(), protection.end());

    ::SendMessageA(::GetDlgItem(dialog, IDC_SOURCE_NUT), BM_CLICK, 0, 0);
    ::SendMessageA(::GetDlgItem(dialog, IDC_PORT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0"));
    ::SendMessageA(::GetDlgItem(dialog, IDC_SAVE), BM_CLICK, 0, 0);
    EXPECT_EQ(L"ポート: 1 から 65535 までの数を入力してください。", e2e::TextOf(::GetDlgItem(dialog, IDC_PORT_ERROR)));
}

}  // namespace
}  // namespace agent_e2e
