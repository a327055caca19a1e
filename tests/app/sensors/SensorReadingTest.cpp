#include "sensors/SensorReading.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>

namespace {

TEST(TruncateReading, TruncatesTowardZeroAndIsDefinedForEveryValue) {
    EXPECT_EQ(TruncateReading(45.9f), 45);
    EXPECT_EQ(TruncateReading(-0.5f), 0);
    EXPECT_EQ(TruncateReading(-45.9f), -45);
    EXPECT_EQ(TruncateReading(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(TruncateReading(-std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(TruncateReading(std::numeric_limits<float>::infinity()), INT_MAX);
    EXPECT_EQ(TruncateReading(-std::numeric_limits<float>::infinity()), INT_MIN);
    EXPECT_EQ(TruncateReading(1e30f), INT_MAX);
    EXPECT_EQ(TruncateReading(-1e30f), INT_MIN);
    EXPECT_EQ(TruncateReading(2147483648.0f), INT_MAX);
    EXPECT_EQ(TruncateReading(-2147483648.0f), INT_MIN);
    EXPECT_EQ(TruncateReading(2147483520.0f), 2147483520);  // the largest float below 2^31
    EXPECT_EQ(TruncateReading(std::numeric_limits<float>::denorm_min()), 0);
}

}  // namespace
