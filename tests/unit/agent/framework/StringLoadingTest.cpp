// Texts from the string table, by id, in the language asked for and in the
// code page the "A" functions expect.
#include "framework/AfxString.h"
#include "tests/unit/agent/framework/FrameworkTestIds.h"

#include <gtest/gtest.h>

namespace {

UINT const kShiftJis = 932;
LANGID const kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
char const kJapaneseGreetingShiftJis[] = "\x93\xfa\x96\x7b\x8c\xea";

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

TEST(StringLoading, MissingIdLeavesTheTextUnchanged) {
    for (UINT id : {UINT{IDS_TEST_ABSENT}, UINT{IDS_TEST_NO_BLOCK}}) {
        SCOPED_TRACE(id);
        CString text("kept");
        EXPECT_FALSE(text.LoadString(id));
        EXPECT_STREQ("kept", text.GetString());
    }
}

TEST(StringLoading, NamedLanguageGivesThatTableInTheCodePagesBytes) {
    std::string text;
    EXPECT_TRUE(AfxLoadStringA(Module(), IDS_TEST_GREETING, text, kShiftJis, kJapanese));
    EXPECT_EQ(kJapaneseGreetingShiftJis, text);
    // No fallback to another language when one is named.
    EXPECT_FALSE(AfxLoadStringA(Module(), IDS_TEST_PLAIN, text, kShiftJis, kJapanese));
    EXPECT_EQ(kJapaneseGreetingShiftJis, text);
}

TEST(JapaneseLocale, LoadStringChoosesJapaneseInShiftJis) {
    ASSERT_EQ(kShiftJis, GetACP());
    CString text;
    EXPECT_TRUE(text.LoadString(IDS_TEST_GREETING));
    EXPECT_STREQ(kJapaneseGreetingShiftJis, text.GetString());
}

}  // namespace
