// The agent's texts, tray menu and version dialog exist in English and in
// Japanese under the same ids; everything else is stored once. Each language's
// copy is read directly, so both are checked whatever the running locale.
#include "tests/unit/agent/resources/ResourceTemplates.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace restest;

UINT const kStringIds[] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 128, 57344};
std::size_t const kStringCount = sizeof kStringIds / sizeof kStringIds[0];
UINT const kLegalNoticeId = 109;
WORD const kTrayMenuId = 131;
std::size_t const kTrayCommandCount = 5;
WORD const kVersionDialogId = 141;
WORD const kFrameId = 128;
WORD const kTrayIconIds[] = {133, 134, 135, 136};
wchar_t const kVersionLine[] = L"Vandrel 2.0 (Release Date:2009-03-31)";
wchar_t const kTitle[] = L"Perimand";

WORD StringBlock(UINT id) { return static_cast<WORD>(id / 16 + 1); }

std::wstring StoredString(LANGID language, UINT id) {
    return StringFromBlock(FindExact(rt::kString, StringBlock(id), language), id);
}

struct LanguageTexts {
    char const* name;
    LANGID language;
    wchar_t const* strings[kStringCount];   // in kStringIds order; null: checked elsewhere
    wchar_t const* trayMenu[kTrayCommandCount];
    wchar_t const* dialogCaption;
};

LanguageTexts const kEnglishTexts = {
    "English", kEnglish,
    {L"On Line", L"Battery Normal", L"Communication Normal", L"Communication lost", L"AC Fail",
     L"Battery Low", L"Agent Stop", kVersionLine, nullptr, kTitle, kTitle},
    {L"Pop_up Tray/Agent Start=32772", L"Pop_up Tray/Agent Stop=32776",
     L"Pop_up Tray/Configuration=32771", L"Pop_up Tray/Version Information=32774",
     L"Pop_up Tray/Close=32773"},
    L"Version Information",
};

LanguageTexts const kJapaneseTexts = {
    "Japanese", kJapanese,
    {L"商務運転中", L"バッテリ正常", L"通信正常", L"通信エラー", L"バックアップ中",
     L"バッテリロー", L"エージェント停止", kVersionLine, nullptr, kTitle, kTitle},
    {L"Pop_up Tray/エージェント起動=32772", L"Pop_up Tray/エージェント停止=32776",
     L"Pop_up Tray/環境設定=32771", L"Pop_up Tray/バージョン情報=32774",
     L"Pop_up Tray/終了=32773"},
    L"バージョン情報",
};

// Failure messages name the language instead of dumping the table's bytes.
void PrintTo(LanguageTexts const& texts, std::ostream* out) { *out << texts.name; }

std::vector<std::wstring> Expected(wchar_t const* const (&lines)[kTrayCommandCount]) {
    return std::vector<std::wstring>(std::begin(lines), std::end(lines));
}

// --- Per-language copies ----------------------------------------------------

class LocalisedResources : public testing::TestWithParam<LanguageTexts> {};

TEST_P(LocalisedResources, StringTableHoldsEveryText) {
    LanguageTexts const& texts = GetParam();
    for (std::size_t i = 0; i < kStringCount; ++i) {
        SCOPED_TRACE(kStringIds[i]);
        std::wstring const stored = StoredString(texts.language, kStringIds[i]);
        if (texts.strings[i])
            EXPECT_EQ(stored, texts.strings[i]);
        else
            EXPECT_FALSE(stored.empty());
    }
}

TEST_P(LocalisedResources, TrayMenuListsTheFiveCommandsInOrder) {
    LanguageTexts const& texts = GetParam();
    EXPECT_EQ(FlattenMenu(FindExact(rt::kMenu, kTrayMenuId, texts.language)), Expected(texts.trayMenu));
}

TEST_P(LocalisedResources, VersionDialogKeepsTheSharedLayout) {
    LanguageTexts const& texts = GetParam();
    Dialog const dialog = ParseDialogEx(FindExact(rt::kDialog, kVersionDialogId, texts.language));

    DWORD const popupCaptionSysMenuModalShellFont = 0x80C800C8;
    EXPECT_EQ(dialog.style, popupCaptionSysMenuModalShellFont);
    EXPECT_EQ(dialog.caption, texts.dialogCaption);
    EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");

    struct ExpectedControl {
        DWORD id;
        DWORD style;
        wchar_t const* windowClass;   // predefined classes travel as ordinals
        std::wstring text;
    };
    DWORD const visibleGroupLeftStatic = 0x50020000;
    DWORD const visibleTabStopPushButton = 0x50010000;
    ExpectedControl const expected[] = {
        {1001, visibleGroupLeftStatic, L"#130", kVersionLine},
        {1002, visibleGroupLeftStatic, L"#130", StoredString(texts.language, kLegalNoticeId)},
        {1004, visibleTabStopPushButton, L"#128", L"OK"},
    };
    ASSERT_EQ(dialog.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        DialogControl const& actual = dialog.controls[i];
        SCOPED_TRACE(expected[i].id);
        EXPECT_EQ(actual.id, expected[i].id);
        EXPECT_EQ(actual.style, expected[i].style);
        EXPECT_EQ(actual.windowClass, expected[i].windowClass);
        EXPECT_EQ(actual.text, expected[i].text);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, LocalisedResources,
                         testing::Values(kEnglishTexts, kJapaneseTexts),
                         [](testing::TestParamInfo<LanguageTexts> const& info) {
                             return std::string(info.param.name);
                         });

TEST(InvariantTexts, VersionNoticeAndTitlesReadTheSameInJapanese) {
    for (UINT id : {108u, 109u, 128u, 57344u}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(StoredString(kJapanese, id), StoredString(kEnglish, id));
    }
    std::wstring const notice = StoredString(kEnglish, kLegalNoticeId);
    EXPECT_EQ(notice.find_first_of(L"\r\n"), std::wstring::npos) << "the notice is one line";
}

// --- The system's own choice ------------------------------------------------

bool JapaneseRunRequested() {
    wchar_t value[64] = {};
    DWORD const length = ::GetEnvironmentVariableW(L"PERIMAND_LOCALE", value, 64);
    return length > 0 && length < 64 && std::wcsncmp(value, L"ja", 2) == 0;
}

TEST(UserInterfaceLanguage, SystemLookupPicksTheUsersLanguageAndFindsTheSharedResources) {
    LANGID const userInterface = ::GetUserDefaultUILanguage();
    if (JapaneseRunRequested()) {
        // Without the Japanese locale Wine quietly runs in English, and this
        // run would prove nothing.
        ASSERT_EQ(::GetACP(), 932u);
        ASSERT_EQ(PRIMARYLANGID(userInterface), LANG_JAPANESE);
    }
    LanguageTexts const& texts =
        PRIMARYLANGID(userInterface) == LANG_JAPANESE ? kJapaneseTexts : kEnglishTexts;
    SCOPED_TRACE(texts.name);

    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (!texts.strings[i]) continue;
        SCOPED_TRACE(kStringIds[i]);
        EXPECT_EQ(StringFromBlock(FindForUser(rt::kString, StringBlock(kStringIds[i])), kStringIds[i]),
                  texts.strings[i]);
    }
    EXPECT_EQ(FlattenMenu(FindForUser(rt::kMenu, kTrayMenuId)), Expected(texts.trayMenu));
    EXPECT_EQ(ParseDialogEx(FindForUser(rt::kDialog, kVersionDialogId)).caption, texts.dialogCaption);

    // Stored once under a third language, yet found under either user interface.
    EXPECT_TRUE(FindForUser(rt::kMenu, kFrameId));
    EXPECT_TRUE(FindForUser(rt::kAccelerator, kFrameId));
    EXPECT_TRUE(FindForUser(rt::kGroupIcon, kFrameId));
    for (WORD id : kTrayIconIds) EXPECT_TRUE(FindForUser(rt::kGroupIcon, id)) << id;
    EXPECT_TRUE(FindForUser(rt::kVersion, VS_VERSION_INFO));
}

}  // namespace
