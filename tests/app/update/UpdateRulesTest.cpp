// Where the update server's address may come from.

#include "update/UpdateServer.h"

#include "common/Product.h"

#include "win/Handle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(UpdateServer, OnlyHttpsAddressesWithAHostAreAccepted) {
    struct Case {
        std::wstring text;
        std::wstring accepted;
    };
    const Case cases[] = {
        {L"https://localhost:8443/", L"https://localhost:8443/"},
        {L"HTTPS://staging.example/updates", L"HTTPS://staging.example/updates/"},
        {L"http://localhost:8443/", L""},
        {L"ftp://localhost/", L""},
        {L"https://", L""},
        {L"https:///path/", L""},
        {L"https://:443/", L""},
        {L"https://host name/", L""},
        {L"https://host/\r\nX: y", L""},
        {L"https://host/?a=b", L""},
        {L"https://user@host/", L""},
        {L"https://host/" + std::wstring(kMaxUpdateBaseUrlLength, L'a'), L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AcceptableBaseUrl(c.text), c.accepted) << c.text;
    }
}

// The machine-wide value of this prefix; only this test writes it.
class MachineUpdateServerValue : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(L"SOFTWARE\\") + kProductTitle).c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key_.put(), nullptr),
            ERROR_SUCCESS);
    }
    void TearDown() override {
        ::RegDeleteValueW(key_.get(), kUpdateServerValue);
        ::_wputenv(L"CALIDRA_UPDATE_URL=");
    }
    void Set(const std::wstring& text, DWORD type = REG_SZ) {
        ASSERT_EQ(::RegSetValueExW(key_.get(), kUpdateServerValue, 0, type,
                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    UniqueHKey key_;
};

TEST_F(MachineUpdateServerValue, OverridesTheBuiltInAddressOnlyWhenAcceptable) {
    ::RegDeleteValueW(key_.get(), kUpdateServerValue);
    // The environment of the user is no place for it.
    ::_wputenv(L"CALIDRA_UPDATE_URL=https://attacker.example/");
    EXPECT_EQ(ReadUpdateBaseUrl(), kUpdateBaseUrl);

    Set(L"https://localhost:8443");
    EXPECT_EQ(ReadUpdateBaseUrl(), L"https://localhost:8443/");
    Set(L"http://localhost:8443/");
    EXPECT_EQ(ReadUpdateBaseUrl(), kUpdateBaseUrl);
    Set(L"https://localhost:8443/", REG_EXPAND_SZ);
    EXPECT_EQ(ReadUpdateBaseUrl(), kUpdateBaseUrl);
    Set(L"https://h/" + std::wstring(1000, L'a'));
    EXPECT_EQ(ReadUpdateBaseUrl(), kUpdateBaseUrl);
}

}  // namespace
