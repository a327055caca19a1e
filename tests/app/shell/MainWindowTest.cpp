#include "shell/DeviceMainDlg.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(MainWindow, UpdateQuestionNamesTheNewVersion) {
    EXPECT_STREQ(DeviceMainDlg::UpdateQuestion(L"1.0.0.6"),
                 L"Detected the latest version:v1.0.0.6, update now?");
    EXPECT_STREQ(DeviceMainDlg::UpdateQuestion(nullptr), L"Detected the latest version:v, update now?");
}

TEST(MainWindow, UpdateServerCanBeOverriddenForTests) {
    ::_wputenv(L"CALIDRA_UPDATE_URL=");
    EXPECT_EQ(DeviceMainDlg::UpdateBaseUrl(), kUpdateBaseUrl);
    EXPECT_EQ(DeviceMainDlg::UpdateBaseUrl().rfind(L"https://", 0), 0u);
    ::_wputenv(L"CALIDRA_UPDATE_URL=https://localhost:8443/");
    EXPECT_EQ(DeviceMainDlg::UpdateBaseUrl(), L"https://localhost:8443/");
    ::_wputenv(L"CALIDRA_UPDATE_URL=");
}

}  // namespace
