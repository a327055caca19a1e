#include "display/TemperatureReport.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int kOn = 1;
constexpr int kOff = 2;
constexpr int kCelsius = 0;
constexpr int kFahrenheit = 1;

struct Shown {
    int b1, b2, b3, b4, b5, b6, b7;
};

void ExpectReport(const TemperatureReport& r, Shown s) {
    EXPECT_EQ(r[0], 0x07);
    EXPECT_EQ(r[1], s.b1);
    EXPECT_EQ(r[2], s.b2);
    EXPECT_EQ(r[3], s.b3);
    EXPECT_EQ(r[4], s.b4);
    EXPECT_EQ(r[5], s.b5);
    EXPECT_EQ(r[6], s.b6);
    EXPECT_EQ(r[7], s.b7);
    for (size_t i = 8; i < r.size(); ++i) {
        EXPECT_EQ(r[i], 0) << "byte " << i;
    }
}

TEST(TemperatureReport, ShowsCelsiusDigitsLevelAndSecondReading) {
    ExpectReport(BuildTemperatureReport(45.0f, 37.0f, kOn, kCelsius), {0, 4, 5, 0x40, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(45.9f, 37.9f, kOn, kCelsius), {0, 4, 5, 0x40, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(120.0f, 37.0f, kOn, kCelsius), {1, 2, 0, 0xA0, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(9.0f, 100.0f, kOn, kCelsius), {0, 0, 9, 0x00, 1, 0, 0});
    EXPECT_EQ(BuildTemperatureReport(45.0f, 37.0f, kOn, kCelsius).size(), 65u);
}

TEST(TemperatureReport, ConvertsToFahrenheitButTakesTheLevelFromCelsius) {
    ExpectReport(BuildTemperatureReport(45.0f, 37.0f, kOn, kFahrenheit), {1, 1, 3, 0x41, 0, 3, 7});
    // 0 stays 0 rather than becoming 32.
    ExpectReport(BuildTemperatureReport(0.0f, 37.0f, kOn, kFahrenheit), {0, 0, 0, 0x01, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(0.9f, 37.0f, kOn, kFahrenheit), {0, 0, 0, 0x01, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(1.0f, 37.0f, kOn, kFahrenheit), {0, 3, 3, 0x01, 0, 3, 7});
    // The second reading is never converted.
    ExpectReport(BuildTemperatureReport(100.0f, 37.0f, kOn, kFahrenheit), {2, 1, 2, 0xA1, 0, 3, 7});
}

TEST(TemperatureReport, CapsAtNineHundredNinetyNineWithLevelTen) {
    ExpectReport(BuildTemperatureReport(600.0f, 37.0f, kOn, kFahrenheit), {9, 9, 9, 0xA1, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(1500.0f, 37.0f, kOn, kCelsius), {9, 9, 9, 0xA0, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(45.0f, 1234.0f, kOn, kCelsius), {0, 4, 5, 0x40, 9, 9, 9});
}

TEST(TemperatureReport, LightOffSendsZerosAfterTheReportId) {
    ExpectReport(BuildTemperatureReport(45.0f, 37.0f, kOff, kCelsius), {0, 0, 0, 0, 0, 0, 0});
    ExpectReport(BuildTemperatureReport(600.0f, 37.0f, 0, kFahrenheit), {0, 0, 0, 0, 0, 0, 0});
}

TEST(TemperatureReport, ReadingsOutsideTheDisplayRangeNeverGiveBadDigits) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Below 0 and NaN show as 0 in either unit; beyond the range as 999.
    ExpectReport(BuildTemperatureReport(-45.0f, -37.0f, kOn, kCelsius), {0, 0, 0, 0x00, 0, 0, 0});
    ExpectReport(BuildTemperatureReport(-45.0f, 37.0f, kOn, kFahrenheit), {0, 0, 0, 0x01, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(nan, nan, kOn, kFahrenheit), {0, 0, 0, 0x01, 0, 0, 0});
    ExpectReport(BuildTemperatureReport(inf, inf, kOn, kFahrenheit), {9, 9, 9, 0xA1, 9, 9, 9});
    ExpectReport(BuildTemperatureReport(-inf, -inf, kOn, kCelsius), {0, 0, 0, 0x00, 0, 0, 0});
    ExpectReport(BuildTemperatureReport(3.0e9f, 3.0e9f, kOn, kFahrenheit), {9, 9, 9, 0xA1, 9, 9, 9});
}

TEST(TemperatureReport, UnitSettingsOtherThanFahrenheitMeanCelsius) {
    ExpectReport(BuildTemperatureReport(45.0f, 37.0f, kOn, 2), {0, 4, 5, 0x40, 0, 3, 7});
    // A stray value must not spill into the level nibble.
    ExpectReport(BuildTemperatureReport(45.0f, 37.0f, kOn, 0x31), {0, 4, 5, 0x40, 0, 3, 7});
    ExpectReport(BuildTemperatureReport(45.0f, 37.0f, kOn, -1), {0, 4, 5, 0x40, 0, 3, 7});
}

}  // namespace
