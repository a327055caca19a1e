#include "shell/DeviceMainDlg.h"

#include <gtest/gtest.h>

namespace {

TEST(MainWindow, UpdateQuestionNamesTheNewVersion) {
    EXPECT_STREQ(DeviceMainDlg::UpdateQuestion(L"1.0.0.6"),
                 L"Detected the latest version:v1.0.0.6, update now?");
    EXPECT_STREQ(DeviceMainDlg::UpdateQuestion(nullptr), L"Detected the latest version:v, update now?");
}

}  // namespace
