// What the tray shows for each status word and each tick's read, and how the tooltip is joined
// and cut to the shell's 128-byte field.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "frame/StatusPoll.h"
#include "frame/StatusPresentation.h"
#include "res/resource.h"

namespace {

constexpr size_t kTipField = 128;  // NOTIFYICONDATAA::szTip
constexpr UINT kShiftJis = 932;

// Which icon, texts and service state each known word shows is checked once,
// with the real resources, in tests/integration/agent/TrayRefreshTest.cpp.

TEST(StatusPresentation, WordsFiveAndAboveChangeNothing) {
    for (std::uint32_t word : {5u, 7u, 9u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(PresentationFor(word).has_value()) << word;
    }
}

TEST(StatusPresentation, MessageCodesNameTheirStrings) {
    std::pair<UINT, UINT> const known[] = {
        {0x11, IDS_COMMUNICATION_LOST}, {0x20, IDS_ON_LINE},  {0x21, IDS_BATTERY_NORMAL},
        {0x22, IDS_COMMUNICATION_NORMAL}, {0x23, IDS_AC_FAIL}, {0x24, IDS_BATTERY_LOW},
        {0x25, IDS_AGENT_STOP},
    };
    for (auto const& [code, id] : known) EXPECT_EQ(id, MessageTextId(code)) << code;
}

TEST(StatusPresentation, UnknownMessageCodesReadOnLine) {
    for (UINT code : {0u, 1u, 0x10u, 0x12u, 0x1Fu, 0x26u, 101u, 0xFFFFFFFFu}) {
        EXPECT_EQ(static_cast<UINT>(IDS_ON_LINE), MessageTextId(code)) << code;
    }
}

TEST(TooltipText, TwoTextsAreJoinedByOneBlankAndOneStandsAlone) {
    std::string const second = "Battery Normal";
    EXPECT_EQ("On Line Battery Normal", JoinTooltip("On Line", &second));
    EXPECT_EQ("Agent Stop", JoinTooltip("Agent Stop", nullptr));
}

TEST(TooltipCut, EnglishTextIsCutAfter127Bytes) {
    std::string const exact(127, 'x');
    EXPECT_EQ(127u, TooltipFitLength(exact, kTipField, 1252));
    EXPECT_EQ(127u, TooltipFitLength(exact + "y", kTipField, 1252));
    EXPECT_EQ(127u, TooltipFitLength(std::string(300, 'x'), kTipField, 1252));
    EXPECT_EQ(22u, TooltipFitLength("On Line Battery Normal", kTipField, 1252));
    EXPECT_EQ(0u, TooltipFitLength("", kTipField, 1252));
}

TEST(TooltipCut, HighBytesAreSingleOutsideDoubleByteCodePages) {
    // 0x82 leads a double-byte character in 932 but is a letter in 1252.
    std::string const text(200, '\x82');
    EXPECT_EQ(127u, TooltipFitLength(text, kTipField, 1252));
    EXPECT_EQ(126u, TooltipFitLength(text, kTipField, kShiftJis));
}

TEST(TooltipCut, FieldsTooSmallForAnyTextTakeNothing) {
    EXPECT_EQ(0u, TooltipFitLength("On Line", 0, 1252));
    EXPECT_EQ(0u, TooltipFitLength("On Line", 1, 1252));
    EXPECT_EQ(0u, TooltipFitLength("\x82\xA0", 2, kShiftJis));
    EXPECT_EQ(2u, TooltipFitLength("\x82\xA0", 3, kShiftJis));
}

// "あ" in code page 932.
std::string const kHiragana = "\x82\xA0";

TEST(TooltipCut, ShiftJisCharacterWhoseLeadByteWouldBeByte127IsLeftOut) {
    std::string const text = std::string(126, 'a') + kHiragana;
    EXPECT_EQ(126u, TooltipFitLength(text, kTipField, kShiftJis));
}

TEST(TooltipCut, ShiftJisCharacterEndingOnByte127Fits) {
    std::string const text = std::string(125, 'a') + kHiragana + "tail";
    EXPECT_EQ(127u, TooltipFitLength(text, kTipField, kShiftJis));
}

TEST(TooltipCut, HalfWidthKatakanaCountsAsOneByte) {
    // 0xB1 is a single-byte character in 932.
    EXPECT_EQ(127u, TooltipFitLength(std::string(200, '\xB1'), kTipField, kShiftJis));
}

TEST(TooltipCut, LeadByteWithoutTrailByteIsDropped) {
    EXPECT_EQ(3u, TooltipFitLength("abc\x82", kTipField, kShiftJis));
}

StatusBlockRead const kBusy{StatusBlockRead::kBusy, {}};

// Feeds `count` busy ticks; how many of them refresh the tray.
int BusyRefreshes(StatusFollower& follower, int count) {
    int refreshes = 0;
    for (int tick = 0; tick < count; ++tick) refreshes += follower.Follow(kBusy) ? 1 : 0;
    return refreshes;
}

TEST(StatusFollower, TheTenthBusyTickInARowAndEveryLaterOneShowCommunicationLost) {
    StatusFollower follower;
    ASSERT_TRUE(follower.Follow({StatusBlockRead::kRead, {0, 3, 0}}));
    EXPECT_EQ(0, BusyRefreshes(follower, 9));
    EXPECT_EQ(3u, follower.shown.statusWord);
    EXPECT_EQ(3, BusyRefreshes(follower, 3));
    EXPECT_EQ(4u, follower.shown.statusWord);
}

TEST(StatusFollower, AReadOrAMissingBlockShowsAtOnceAndStartsTheCountAnew) {
    for (auto breaker : {StatusBlockRead::kRead, StatusBlockRead::kMissing}) {
        SCOPED_TRACE(breaker);
        std::uint32_t const expected = breaker == StatusBlockRead::kRead ? 1 : 0;
        StatusFollower follower;
        ASSERT_EQ(1, BusyRefreshes(follower, 10));
        for (int round = 0; round < 2; ++round) {  // after a long row, then in the middle of one
            EXPECT_TRUE(follower.Follow({breaker, {0, 1, 0}}));
            EXPECT_EQ(expected, follower.shown.statusWord);
            EXPECT_EQ(0, BusyRefreshes(follower, 9));
        }
    }
}

// Whatever the offset of the double-byte characters, the kept bytes are
// whole characters and no further character would have fitted.
TEST(TooltipCut, CutNeverLeavesAStrayLeadByte) {
    std::wstring japanese;
    for (int i = 0; i < 80; ++i) {
        japanese += i % 3 == 2 ? L'A' : static_cast<wchar_t>(0x3042 + i % 40);  // hiragana
    }
    for (size_t prefix = 0; prefix < 140; ++prefix) {
        SCOPED_TRACE(prefix);
        std::wstring wide = std::wstring(prefix, L'a') + japanese;
        int bytes = ::WideCharToMultiByte(kShiftJis, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
        ASSERT_GT(bytes, 0);
        std::string text(static_cast<size_t>(bytes - 1), '\0');
        ::WideCharToMultiByte(kShiftJis, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);

        size_t kept = TooltipFitLength(text, kTipField, kShiftJis);
        ASSERT_LE(kept, 127u);
        EXPECT_GE(kept, 126u);  // only a double-byte character may be left out
        int converted = ::MultiByteToWideChar(kShiftJis, MB_ERR_INVALID_CHARS, text.data(),
                                              static_cast<int>(kept), nullptr, 0);
        EXPECT_TRUE(kept == 0 || converted > 0) << "the kept bytes end inside a character";
        if (kept == 126) {
            EXPECT_TRUE(::IsDBCSLeadByteEx(kShiftJis, static_cast<BYTE>(text[126])));
        }
    }
}

}  // namespace
