// The display report and the reading truncation for every pair of float bit patterns and any settings: the
// report keeps its fixed bytes, shows only digits, and shows what the readings say.

#include "FuzzCheck.h"

#include "display/TemperatureReport.h"
#include "sensors/SensorReading.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

// Truncation, stated without truncating: no further from zero than the value and less than 1 away from it,
// saturated beyond the int range, 0 for NaN.
void CheckTruncation(float value) {
    const int truncated = TruncateReading(value);
    const double v = value;
    if (std::isnan(value)) {
        FUZZ_CHECK(truncated == 0);
    } else if (v >= 2147483648.0) {
        FUZZ_CHECK(truncated == INT_MAX);
    } else if (v < -2147483648.0) {
        FUZZ_CHECK(truncated == INT_MIN);
    } else {
        FUZZ_CHECK(std::fabs(static_cast<double>(truncated)) <= std::fabs(v));
        FUZZ_CHECK(std::fabs(v - truncated) < 1.0);
    }
}

// Half the time any bit pattern (NaN, infinities, subnormals); otherwise a reading as sensors give them.
float Reading(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        return std::bit_cast<float>(input.ConsumeIntegral<uint32_t>());
    }
    return static_cast<float>(input.ConsumeIntegralInRange(-100, 1500)) + input.ConsumeProbability<float>();
}

int Digits(const TemperatureReport& report, size_t first) {
    for (size_t i = first; i < first + 3; ++i) {
        FUZZ_CHECK(report[i] <= 9);
    }
    return report[first] * 100 + report[first + 1] * 10 + report[first + 2];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const float cpu = Reading(input);
    const float second = Reading(input);
    // Mostly the settings' real values, sometimes anything a registry value could hold.
    const int light = input.ConsumeBool() ? kLightOn : input.ConsumeIntegral<int>();
    const int unit = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 1) : input.ConsumeIntegral<int>();

    CheckTruncation(cpu);
    CheckTruncation(second);

    const TemperatureReport report = BuildTemperatureReport(cpu, second, light, unit);
    FUZZ_CHECK(report[0] == kDisplayReportId);
    for (size_t i = 8; i < report.size(); ++i) {
        FUZZ_CHECK(report[i] == 0);
    }
    if (light != kLightOn) {
        for (size_t i = 1; i <= 7; ++i) {
            FUZZ_CHECK(report[i] == 0);
        }
        return 0;
    }

    const bool fahrenheit = unit == kUnitFahrenheit;
    const int celsius = std::clamp(TruncateReading(cpu), 0, kLargestShownValue);
    FUZZ_CHECK((report[4] >> 4) == std::min(celsius / 10, 10));
    FUZZ_CHECK((report[4] & 0x0F) == (fahrenheit ? 1 : 0));
    FUZZ_CHECK(ShowsFahrenheit(report) == fahrenheit);

    // Exact integer Fahrenheit: the product's double arithmetic must never land one below it.
    const int expected = !fahrenheit ? celsius : celsius == 0 ? 0 : std::min(celsius * 9 / 5 + 32, 999);
    FUZZ_CHECK(Digits(report, 1) == expected);
    FUZZ_CHECK(ShownTemperature(report) == expected);
    FUZZ_CHECK(Digits(report, 5) == std::clamp(TruncateReading(second), 0, kLargestShownValue));
    return 0;
}
