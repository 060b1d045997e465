// The settings in a real registry key: what is written reads back, and a key
// that someone filled with garbage gives defaults and names the bad values.
// The password is sealed for the machine.
#include <windows.h>
#include <dpapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/settings/ServiceSettings.h"
#include "service/settings/StoredPassword.h"

namespace {

using vandrel::ServiceSettings;
using vandrel::SettingsRead;
using vandrel::SourceKind;

// A parent key of its own per test, under HKLM like the real one.
class SettingsKey : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = "SOFTWARE\\Perimand tests\\settings-" + std::to_string(::GetCurrentProcessId());
        path_ = parent_ + "\\Parameters";
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, parent_.c_str());
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, parent_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &key, nullptr));
        ::RegCloseKey(key);
    }
    void TearDown() override { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, parent_.c_str()); }

    void SetRaw(char const* name, DWORD type, void const* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                   nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, name, 0, type, static_cast<BYTE const*>(data), size));
        ::RegCloseKey(key);
    }
    void SetString(char const* name, std::string const& text) {
        SetRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    void SetDword(char const* name, DWORD value) { SetRaw(name, REG_DWORD, &value, sizeof value); }

    std::string parent_;
    std::string path_;
};

bool Mentions(SettingsRead const& read, std::string const& text) {
    for (std::string const& line : read.badValues)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

TEST_F(SettingsKey, WrittenSettingsReadBackWhole) {
    ServiceSettings nut;
    nut.source = SourceKind::Nut;
    nut.ups = {"rack", "10.0.0.7", 3494};
    nut.pollMs = 750;
    nut.simulation.script = {3, 1, 2};
    nut.simulation.scriptStepMs = 250;
    nut.simulation.stopDelayMs = 40;
    nut.protection = {vandrel::ShutdownMode::Critical, 600, 45, vandrel::ShutdownAction::Hibernate, "mon", 9, 40, 25,
                      300};
    // A CA's PEM is many lines and longer than any other value.
    nut.tls.mode = nut::TlsMode::Require;
    nut.tls.check = nut::TlsCheck::Ca;
    nut.tls.caDer = {0x30, 0x82, 0x06, 0x00};
    nut.tls.caDer.resize(4 + 0x600, 0x5a);
    nut.tls.serverName = "ups.lan";
    ASSERT_EQ(static_cast<unsigned long>(ERROR_SUCCESS), vandrel::WriteServiceSettings(nut, path_.c_str()));
    ServiceSettings read;
    SettingsRead const result = vandrel::ReadServiceSettings(read, path_.c_str());
    EXPECT_TRUE(result.clean()) << (result.badValues.empty() ? "" : result.badValues.front());
    EXPECT_TRUE(read == nut) << vandrel::DescribeSettings(read);

    ASSERT_EQ(static_cast<unsigned long>(ERROR_SUCCESS), vandrel::DeleteServiceSettings(path_.c_str()));
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), vandrel::ReadServiceSettings(read, path_.c_str()).keyError);
    EXPECT_TRUE(read == ServiceSettings()) << "a missing key reads as the defaults";
    EXPECT_EQ(static_cast<unsigned long>(ERROR_SUCCESS), vandrel::DeleteServiceSettings(path_.c_str()));
}

TEST_F(SettingsKey, WritingNeedsTheServicesKeyAndNeverMakesOneUp) {
    std::string const orphan = parent_ + "\\not installed\\Parameters";
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND),
              vandrel::WriteServiceSettings(ServiceSettings(), orphan.c_str()));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (parent_ + "\\not installed").c_str(), 0, KEY_READ, &key));
}

TEST_F(SettingsKey, GarbageValuesFallBackOneByOneAndAreEachNamed) {
    SetRaw("UpsName", REG_SZ, "rack", 4);          // stored without its NUL
    SetRaw("Host", REG_SZ, "nas\0evil", 9);         // a NUL inside
    SetString("Port", "3493");                     // a number as text
    SetDword("PollMs", 10);                        // out of bounds
    SetRaw("StatusWord", REG_BINARY, "\x01\x02", 2);
    SetString("Script", "3,1@");                   // no step
    unsigned char const shortDword[] = {1, 2};
    SetRaw("StopDelayMs", REG_DWORD, shortDword, sizeof shortDword);
    SetString("Source", std::string(100000, 'n')); // far too long for a setting
    SetString("Shutdown", "sometimes");
    SetDword("GraceSeconds", 601);
    SetString("Login", "mon\nLOGIN other");        // would smuggle in a request

    ServiceSettings read;
    SettingsRead const result = vandrel::ReadServiceSettings(read, path_.c_str());
    EXPECT_EQ(0ul, result.keyError);
    EXPECT_EQ(10u, result.badValues.size());
    EXPECT_TRUE(Mentions(result, "value \"Host\" holds a NUL character; using localhost"));
    EXPECT_TRUE(Mentions(result, "value \"Port\" is REG_SZ, not REG_DWORD; using 3493"));
    EXPECT_TRUE(Mentions(result, "value \"PollMs\": poll interval must be 500-60000 ms; using 2000"));
    EXPECT_TRUE(Mentions(result, "value \"StatusWord\" is REG_BINARY"));
    EXPECT_TRUE(Mentions(result, "value \"Script\""));
    EXPECT_TRUE(Mentions(result, "value \"StopDelayMs\" is not a 4-byte REG_DWORD"));
    EXPECT_TRUE(Mentions(result, "value \"Source\" is longer than"));
    EXPECT_TRUE(Mentions(result, "value \"Shutdown\": shutdown must be \"off\" or \"critical\", not \"sometimes\"; using off"));
    EXPECT_TRUE(Mentions(result, "value \"GraceSeconds\": grace must be 0-600 s; using 30"));
    EXPECT_TRUE(Mentions(result, "value \"Login\": the login user may not contain control characters; using "));

    ServiceSettings expected;  // the one good value, and defaults
    expected.ups.upsName = "rack";
    EXPECT_TRUE(read == expected) << vandrel::DescribeSettings(read);
}

// What StorePassword asks DPAPI for; it hands back a blob of its own.
class RecordingSeal final : public vandrel::PasswordSealApi {
public:
    unsigned long Seal(std::string const&, std::string const&, unsigned long flags,
                       std::vector<unsigned char>& sealed) override {
        askedFlags = flags;
        sealed = {0x5e, 0xa1, 0xed};
        return ERROR_SUCCESS;
    }
    unsigned long askedFlags = 0;
};

TEST_F(SettingsKey, ThePasswordIsSealedForTheMachineWithoutAPrompt) {
    RecordingSeal seal;
    ScopedSeam<vandrel::PasswordSealApi> swap(seal);
    std::string const credentials = parent_ + "\\Credentials";
    ASSERT_EQ(static_cast<unsigned long>(ERROR_SUCCESS), vandrel::StorePassword("secret", credentials.c_str()));
    // Sealed for the user storing it, the service's account could not unseal
    // it; Wine, running all as one user, would not show that.
    EXPECT_EQ(static_cast<unsigned long>(CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN), seal.askedFlags);
}

}  // namespace
