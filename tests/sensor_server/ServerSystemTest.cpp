// What the server takes from the system: CPU load figures and the files it reads.

#include "CpuLoad.h"
#include "TextFile.h"

#include "TempFolder.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::TempFolder;
using testing_support::WaitUntil;
using testing_support::WriteFileBytes;

namespace {

TEST(CpuLoad, IsAShareOfBusyTimeInZeroToHundred) {
    float load = -1;
    // Kernel time includes idle time: 600 idle of 800 kernel + 200 user is 40 % busy.
    ASSERT_TRUE(CpuLoadMeter::LoadPercent(600, 800, 200, &load));
    EXPECT_FLOAT_EQ(load, 40.0f);
    ASSERT_TRUE(CpuLoadMeter::LoadPercent(0, 0, 500, &load));
    EXPECT_FLOAT_EQ(load, 100.0f);
    ASSERT_TRUE(CpuLoadMeter::LoadPercent(900, 900, 0, &load));
    EXPECT_FLOAT_EQ(load, 0.0f);
    // Idle beyond the total (inconsistent counters) is 0 %, never negative.
    ASSERT_TRUE(CpuLoadMeter::LoadPercent(5000, 900, 0, &load));
    EXPECT_FLOAT_EQ(load, 0.0f);
    load = 12;
    EXPECT_FALSE(CpuLoadMeter::LoadPercent(0, 0, 0, &load));
    EXPECT_EQ(load, 12.0f);

    // The meter has a figure once the system's counters have moved on since its first sample.
    CpuLoadMeter meter;
    load = -1;
    ASSERT_TRUE(WaitUntil([&] { return meter.Sample(&load); }));
    EXPECT_GE(load, 0.0f);
    EXPECT_LE(load, 100.0f);
}

TEST(ReadTextFile, RefusesFilesBeyondTheLimitAndTellsMissingFromRead) {
    TempFolder folder(L"calidra text");
    ASSERT_TRUE(WriteFileBytes(folder.path() + L"small.txt", "12345"));
    std::string text;
    EXPECT_EQ(ReadTextFile(folder.path() + L"small.txt", 5, &text), TextFileResult::Read);
    EXPECT_EQ(text, "12345");
    EXPECT_EQ(ReadTextFile(folder.path() + L"small.txt", 4, &text), TextFileResult::TooLarge);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(ReadTextFile(folder.path() + L"none.txt", 4, &text), TextFileResult::Missing);
    EXPECT_EQ(ReadTextFile(folder.path() + L"no folder\\none.txt", 4, &text), TextFileResult::Missing);
}

}  // namespace
