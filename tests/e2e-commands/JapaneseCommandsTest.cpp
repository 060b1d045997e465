// The tray menu, the version dialog and the configuration program under a
// Japanese user interface.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/e2e-commands/CommandsFixture.h"
#include "tests/support/e2e/Pump.h"
#include "tests/support/e2e/TopLevelWindows.h"
#include "res/resource.h"
#include "companions/dellomark/resource.h"

namespace commands_e2e {
namespace {

constexpr UINT kShiftJis = 932;

class JapaneseCommands : public CommandsEndToEnd {
protected:
    void SetUp() override {
        ASSERT_EQ(kShiftJis, ::GetACP()) << "the Japanese locale is missing; the agent would fall back to English";
        CommandsEndToEnd::SetUp();
    }
};

TEST_F(JapaneseCommands, TrayMenuAndVersionDialogAreJapanese) {
    StartAgent();
    HWND menu = OpenTrayMenu();
    ASSERT_NE(nullptr, menu);
    std::optional<menu_probe::OpenMenu> read = ReadMenu();
    ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);

    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(kShiftJis, read->codePage);
    ASSERT_EQ(5u, read->items.size());
    const char16_t* texts[] = {u"エージェント起動", u"エージェント停止", u"環境設定", u"バージョン情報", u"終了"};
    for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(read->items[i].text == texts[i]) << i;
    EXPECT_TRUE(read->items[0].Enabled());
    EXPECT_FALSE(read->items[1].Enabled());

    // The version dialog: a Japanese caption and the same two lines.
    EXPECT_TRUE(e2e::PumpUntil([&] { return OpenMenuWindow() == nullptr; }, kWaitMs));
    PostCommand(ID_VERSION_INFORMATION);
    HWND dialog = WaitForDialog();
    ASSERT_NE(nullptr, dialog) << "no version dialog";

    EXPECT_EQ(L"バージョン情報", TextOf(dialog));
    EXPECT_EQ(L"Vandrel 2.0 (Release Date:2009-03-31)", TextOf(::GetDlgItem(dialog, IDC_VERSION_TEXT)));
    EXPECT_EQ(AgentString(IDS_LEGAL_NOTICE), TextOf(::GetDlgItem(dialog, IDC_LEGAL_TEXT)));

    ::PostMessageA(::GetDlgItem(dialog, IDC_ABOUT_OK), BM_CLICK, 0, 0);
    EXPECT_TRUE(e2e::WaitForWindowGone(dialog, kWaitMs));
}

TEST_F(JapaneseCommands, ConfigurationDialogAndItsFieldMessagesAreJapanese) {
    e2e::Process program = e2e::Process::Start(configurationPath_, "");
    HWND dialog = e2e::WaitForWindow({"", DELLOMARK_DIALOG_CLASS, program.Id()}, kWaitMs);
    ASSERT_NE(nullptr, dialog) << "no configuration dialog";
    EXPECT_EQ(L"Dellomark - UPS サービスの設定", TextOf(dialog));

    ::SendMessageA(::GetDlgItem(dialog, IDC_SOURCE_NUT), BM_CLICK, 0, 0);
    ::SendMessageA(::GetDlgItem(dialog, IDC_PORT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0"));
    ::SendMessageA(::GetDlgItem(dialog, IDC_SAVE), BM_CLICK, 0, 0);
    EXPECT_EQ(L"ポート: 1 から 65535 までの数を入力してください。", TextOf(::GetDlgItem(dialog, IDC_PORT_ERROR)));
}

}  // namespace
}  // namespace commands_e2e
