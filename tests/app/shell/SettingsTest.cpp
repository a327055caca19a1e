#include "shell/Settings.h"

#include "win/Handle.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Kelvaro-DIG";

void DeleteSettingsKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

bool KeyExists() {
    UniqueHKey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void PutRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    UniqueHKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
}

void PutText(const wchar_t* name, const std::wstring& text) {
    PutRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The stored value exactly as the registry holds it: type and bytes.
bool GetRaw(const wchar_t* name, DWORD* type, std::wstring* text) {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t buffer[512] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    LSTATUS status =
        ::RegQueryValueExW(key.get(), name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    text->assign(buffer, bytes / sizeof(wchar_t));
    return true;
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { DeleteSettingsKey(); }
    void TearDown() override { DeleteSettingsKey(); }
};

TEST_F(SettingsTest, FreshAccountCreatesKeyAndStartsWithLightOnInCelsius) {
    ASSERT_FALSE(KeyExists());
    EXPECT_EQ(ReadLightSetting(), 1);
    EXPECT_EQ(ReadSetting(kSettingUnit), 0);
    EXPECT_TRUE(KeyExists());

    DWORD type = 0;
    std::wstring stored;
    ASSERT_TRUE(GetRaw(kSettingLight, &type, &stored));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored, std::wstring(L"1", 2));  // the terminating NUL is stored too
}

TEST_F(SettingsTest, FirstReadOfMissingKeyCreatesItButWritesNothing) {
    EXPECT_EQ(ReadSetting(kSettingUnit), 0);
    EXPECT_TRUE(KeyExists());
    DWORD type = 0;
    std::wstring stored;
    EXPECT_FALSE(GetRaw(kSettingUnit, &type, &stored));
}

TEST_F(SettingsTest, StoredZeroLightIsRewrittenAsOn) {
    PutText(kSettingLight, L"0");
    EXPECT_EQ(ReadLightSetting(), 1);
    DWORD type = 0;
    std::wstring stored;
    ASSERT_TRUE(GetRaw(kSettingLight, &type, &stored));
    EXPECT_EQ(stored, std::wstring(L"1", 2));
}

TEST_F(SettingsTest, TextsReadAsTheirLeadingInteger) {
    struct Case {
        const wchar_t* stored;
        int expected;
    } cases[] = {
        {L"1", 1},
        {L" 1", 1},
        {L"abc", 0},
        {L"3", 3},
        {L"2x", 2},
        {L"-7", -7},
        {L"", 0},
        {L"99999999999", 2147483647},
        {L"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        PutText(kSettingUnit, c.stored);
        EXPECT_EQ(ReadSetting(kSettingUnit), c.expected) << testing::PrintToString(std::wstring(c.stored));
    }
}

TEST_F(SettingsTest, LightOfThreeStaysThree) {
    PutText(kSettingLight, L"3");
    EXPECT_EQ(ReadLightSetting(), 3);
}

TEST_F(SettingsTest, ValueOfAnotherTypeDoesNotCrashAndReadsAsItsBytes) {
    const DWORD one = 1;
    PutRaw(kSettingUnit, REG_DWORD, &one, sizeof(one));
    // The bytes 01 00 00 00 are a control character and a NUL as text: not numeric.
    EXPECT_EQ(ReadSetting(kSettingUnit), 0);

    const DWORD digits = 0x00000031;  // L"1" as little-endian bytes
    PutRaw(kSettingUnit, REG_DWORD, &digits, sizeof(digits));
    EXPECT_EQ(ReadSetting(kSettingUnit), 1);

    const unsigned char odd[3] = {'7', 0, 'x'};  // an odd byte count without terminator: "7x"
    PutRaw(kSettingUnit, REG_BINARY, odd, sizeof(odd));
    EXPECT_EQ(ReadSetting(kSettingUnit), 7);
}

TEST_F(SettingsTest, ValueLongerThan255BytesReadsAsZero) {
    PutText(kSettingUnit, L"1" + std::wstring(200, L'0'));  // 402 bytes
    EXPECT_EQ(ReadSetting(kSettingUnit), 0);
    PutText(kSettingUnit, std::wstring(125, L'0') + L"1");  // 254 bytes with the NUL: still fits
    EXPECT_EQ(ReadSetting(kSettingUnit), 1);
}

TEST_F(SettingsTest, WriteStoresTextWithTerminator) {
    (void)ReadSetting(kSettingUnit);
    WriteSetting(kSettingUnit, L"1");
    EXPECT_EQ(ReadSetting(kSettingUnit), 1);
    WriteSetting(kSettingLight, L"2");
    DWORD type = 0;
    std::wstring stored;
    ASSERT_TRUE(GetRaw(kSettingLight, &type, &stored));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored, std::wstring(L"2", 2));
}

TEST_F(SettingsTest, WriteWithoutKeyWritesNothing) {
    WriteSetting(kSettingUnit, L"1");
    EXPECT_FALSE(KeyExists());
}

// A key whose security denies full access: reads give 0 and writes change nothing, silently.
TEST_F(SettingsTest, KeyThatCannotBeOpenedReadsZeroAndIgnoresWrites) {
    PutText(kSettingUnit, L"1");
    UniqueHKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, WRITE_DAC | READ_CONTROL, key.put()),
              ERROR_SUCCESS);
    // Read-only for everyone: KEY_ALL_ACCESS is refused.
    EXPLICIT_ACCESSW access{};
    BuildExplicitAccessWithNameW(&access, const_cast<wchar_t*>(L"EVERYONE"), KEY_READ, SET_ACCESS,
                                 NO_INHERITANCE);
    PACL acl = nullptr;
    ASSERT_EQ(::SetEntriesInAclW(1, &access, nullptr, &acl), ERROR_SUCCESS);
    UniqueLocalMemory readOnly(acl);
    ASSERT_EQ(::SetSecurityInfo(key.get(), SE_REGISTRY_KEY,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, acl, nullptr),
              ERROR_SUCCESS);

    UniqueHKey probe;
    const LSTATUS denied = ::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, probe.put());
    ASSERT_EQ(denied, ERROR_ACCESS_DENIED) << "this registry does not enforce key security";

    EXPECT_EQ(ReadSetting(kSettingUnit), 0);
    WriteSetting(kSettingUnit, L"0");

    // Give full access back, then check nothing was written.
    BuildExplicitAccessWithNameW(&access, const_cast<wchar_t*>(L"EVERYONE"), KEY_ALL_ACCESS, SET_ACCESS,
                                 NO_INHERITANCE);
    ASSERT_EQ(::SetEntriesInAclW(1, &access, nullptr, &acl), ERROR_SUCCESS);
    UniqueLocalMemory fullAccess(acl);
    ASSERT_EQ(::SetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                                nullptr),
              ERROR_SUCCESS);
    key.reset();
    EXPECT_EQ(ReadSetting(kSettingUnit), 1);
}

}  // namespace
