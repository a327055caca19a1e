#include "display/TemperatureReport.h"

#include "sensors/SensorReading.h"

#include <algorithm>

namespace {

int ClampShown(int value) noexcept {
    return std::clamp(value, 0, kLargestShownValue);
}

int ToFahrenheit(int celsius) noexcept {
    if (celsius == 0) {
        return 0;
    }
    // celsius is already within 0..999 here, so the product is far inside the int range.
    return static_cast<int>(celsius * 1.8 + 32.0);
}

void PutDigits(unsigned char* out, int value) noexcept {
    out[0] = static_cast<unsigned char>(value / 100 % 10);
    out[1] = static_cast<unsigned char>(value / 10 % 10);
    out[2] = static_cast<unsigned char>(value % 10);
}

}  // namespace

TemperatureReport BuildTemperatureReport(float cpuCelsius, float secondReading, int light,
                                         int unit) noexcept {
    TemperatureReport report{};
    report[0] = kDisplayReportId;
    if (light != kLightOn) {
        return report;
    }
    const int celsius = ClampShown(TruncateReading(cpuCelsius));
    const int level = std::min(celsius / 10, 10);
    const bool fahrenheit = unit == kUnitFahrenheit;
    const int shown = ClampShown(fahrenheit ? ToFahrenheit(celsius) : celsius);
    const int second = ClampShown(TruncateReading(secondReading));

    PutDigits(&report[1], shown);
    report[4] = static_cast<unsigned char>((level << 4) | (fahrenheit ? 1 : 0));
    PutDigits(&report[5], second);
    return report;
}

int ShownTemperature(const TemperatureReport& report) noexcept {
    return report[1] * 100 + report[2] * 10 + report[3];
}

bool ShowsFahrenheit(const TemperatureReport& report) noexcept {
    return (report[4] & 0x0F) != 0;
}
