// Where the configuration program is looked for: the agent's own folder,
// found by characters so that a double-byte character ending in 0x5C is
// not taken for a backslash, and nothing at all when the path is not whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/SiblingPath.h"

namespace {

constexpr UINT kShiftJis = 932;
constexpr UINT kWesternEuropean = 1252;
std::string const kNoFit = "<no fit>";

// Shift-JIS characters whose trail byte is a backslash.
std::string const kHyou = "\x95\x5C";  // 表
std::string const kSo = "\x83\x5C";    // ソ
size_t const kNameLength = std::strlen(kConfigurationProgram);
std::string const kFolderThatFits = "C:\\" + std::string(kPathBufferSize - 1 - kNameLength - 4, 'a') + "\\";
std::string const kFolderTooLong = "C:\\" + std::string(kPathBufferSize - kNameLength - 4, 'a') + "\\";

TEST(SiblingPath, FolderIsCutAtTheLastRealBackslash) {
    std::string const deep = "C:\\" + kHyou + "\\" + kSo + "\\" + kSo + "x" + kHyou + "\\";
    struct Case {
        std::string modulePath;
        UINT codePage;
        std::string expected;
    } const cases[] = {
        {"C:\\Program Files\\Vandrel\\Perimand.exe", kWesternEuropean, "C:\\Program Files\\Vandrel\\Dellomark.exe"},
        {"Perimand.exe", kWesternEuropean, "Dellomark.exe"},
        // A renamed agent "表.exe": a byte-wise scan would cut inside 表.
        {"C:\\Agent\\" + kHyou + ".exe", kShiftJis, "C:\\Agent\\Dellomark.exe"},
        {deep + kHyou + ".exe", kShiftJis, deep + "Dellomark.exe"},
        {"C:\\Agent\\" + kHyou + ".exe", kWesternEuropean, "C:\\Agent\\\x95\\Dellomark.exe"},
        {"C:\\a\\\x95", kShiftJis, "C:\\a\\Dellomark.exe"},  // lead byte cut off by the terminator
        {kFolderThatFits + "Perimand.exe", kWesternEuropean, kFolderThatFits + "Dellomark.exe"},
        {kFolderTooLong + "P.exe", kWesternEuropean, kNoFit},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.modulePath);
        char out[kPathBufferSize];
        std::memset(out, '#', sizeof out);
        bool const fits = ComposeSiblingPath(c.modulePath.c_str(), kConfigurationProgram, c.codePage, out);
        EXPECT_EQ(c.expected, fits ? std::string(out) : kNoFit);
        if (!fits) {
            EXPECT_EQ(std::string(kPathBufferSize, '#'), std::string(out, sizeof out));
        }
    }
    EXPECT_EQ(5u, FolderPartLength("C:\\a\\\x95", kShiftJis));
}

}  // namespace
