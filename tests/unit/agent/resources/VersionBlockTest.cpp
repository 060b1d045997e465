// The version block and the manifest, each stored once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/agent/resources/ResourceTemplates.h"

namespace {

using namespace restest;

LANGID const kNeutral = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052
WORD const kManifestType = 24, kProcessManifestId = 1;

std::wstring VersionString(std::vector<BYTE>& block, wchar_t const* name) {
    std::wstring const path = std::wstring(L"\\StringFileInfo\\040904E4\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return L"<missing>";
    return static_cast<wchar_t const*>(value);
}

TEST(VersionBlock, IdentifiesPerimand2001InUsEnglish) {
    Bytes const stored = FindExact(rt::kVersion, VS_VERSION_INFO, kNeutral);
    ASSERT_TRUE(stored);
    // VerQueryValue may write into the block: work on a copy.
    std::vector<BYTE> block(stored.data, stored.data + stored.size);

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", &value, &length));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(0x00020000u, fixed.dwFileVersionMS);
    EXPECT_EQ(0x00000001u, fixed.dwFileVersionLS);
    EXPECT_EQ(0x00020000u, fixed.dwProductVersionMS);
    EXPECT_EQ(0x00000001u, fixed.dwProductVersionLS);

    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    WORD translation[2];
    std::memcpy(translation, value, sizeof translation);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(0x04E4, translation[1]);

    EXPECT_EQ(L"2.0.0.1", VersionString(block, L"FileVersion"));
    EXPECT_EQ(L"2.0.0.1", VersionString(block, L"ProductVersion"));
    EXPECT_EQ(L"Perimand.exe", VersionString(block, L"InternalName"));
    EXPECT_EQ(L"Perimand.exe", VersionString(block, L"OriginalFilename"));
    for (wchar_t const* placeholder : {L"CompanyName", L"FileDescription", L"LegalCopyright", L"ProductName"}) {
        std::wstring const text = VersionString(block, placeholder);
        EXPECT_FALSE(text.empty() || text == L"<missing>") << placeholder;
    }
}

TEST(Manifest, AsksForNoDependencyAndNoElevation) {
    Bytes const stored = FindExact(kManifestType, kProcessManifestId, kEnglish);
    ASSERT_TRUE(stored);
    std::string text(reinterpret_cast<char const*>(stored.data), stored.size);
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    EXPECT_EQ(R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>)", text);
}

}  // namespace
