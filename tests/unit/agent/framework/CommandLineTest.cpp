// What the start-up takes as the argument, and whether it is the stop command.
#include "app/StopCommand.h"
#include "framework/WinApp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

UINT const kShiftJis = 932;
UINT const kWesternEuropean = 1252;

struct SkipCase {
    char const* scenario;
    char const* commandLine;
    char const* argument;
};

SkipCase const kSkipCases[] = {
    {"plain name", "Perimand.exe stop", "stop"},
    {"quoted name with blanks", "\"C:\\Program Files\\Perimand.exe\" stop", "stop"},
    {"unterminated quote swallows all", "\"Perimand.exe stop", ""},
    {"blanks, tabs and control bytes skipped", "p   \t\x01\x1f stop", "stop"},
    {"trailing blanks kept", "p stop  ", "stop  "},
    {"high byte starts the argument", "p \x83stop", "\x83stop"},
    {"name only", "Perimand.exe", ""},
    {"empty line", "", ""},
};

TEST(ProgramNameSkipping, LeavesExactlyTheArgument) {
    for (SkipCase const& c : kSkipCases) {
        SCOPED_TRACE(c.scenario);
        EXPECT_EQ(std::string(c.argument), AfxSkipProgramName(c.commandLine));
    }
    EXPECT_STREQ("", AfxSkipProgramName(nullptr));
}

struct StopCase {
    char const* argument;
    UINT codePage;
    bool matches;
};

StopCase const kStopCases[] = {
    {"stop", kWesternEuropean, true},
    {"sToP", kShiftJis, true},
    {"stop ", kWesternEuropean, false},
    {"-stop", kWesternEuropean, false},
    {"stopp", kWesternEuropean, false},
    {"", kWesternEuropean, false},
    // Lead byte 0x83 with 's', 't', 'o' or 'p' as its trail byte: one
    // katakana character, never a letter of the word.
    {"\x83stop", kShiftJis, false},
    {"\x82\x93\x82\x94\x82\x8f\x82\x90", kShiftJis, false},  // full-width letters
    {"\x83stop", kWesternEuropean, false},
};

TEST(StopCommandMatching, WholeArgumentInAnyCaseOnly) {
    for (StopCase const& c : kStopCases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.argument << "\" in code page " << c.codePage);
        EXPECT_EQ(c.matches, IsStopCommand(c.argument, c.codePage));
    }
    EXPECT_FALSE(IsStopCommand(nullptr, kWesternEuropean));
}

TEST(JapaneseLocale, StopMatcherTreatsThreadCodePageCharactersAsUnits) {
    ASSERT_EQ(kShiftJis, GetACP());
    EXPECT_TRUE(IsStopCommand("Stop"));
    EXPECT_FALSE(IsStopCommand("\x83stop"));
    EXPECT_FALSE(IsStopCommand("s\x83top"));
}

}  // namespace
