#pragma once

// The 65-byte feature report that carries one temperature to a display, built from the two snapshot readings
// and the user's two settings.

#include <array>
#include <cstddef>

inline constexpr size_t kTemperatureReportSize = 65;
inline constexpr unsigned char kDisplayReportId = 0x07;
inline constexpr int kLightOn = 1;         // "led_switch": 1 on, anything else off
inline constexpr int kLightOff = 2;        // what a click on the light switch stores to turn it off
inline constexpr int kUnitFahrenheit = 1;  // "tempe_type": 1 Fahrenheit, anything else Celsius
inline constexpr int kLargestShownValue = 999;

using TemperatureReport = std::array<unsigned char, kTemperatureReportSize>;

// Byte 0 report ID; bytes 1-3 the shown temperature's digits; byte 4 the level (Celsius tens, at most 10) in
// the high nibble and the unit flag in the low nibble; bytes 5-7 the second reading's digits; the rest 0.
// With the light off, bytes 1-7 are 0.
//
// The display has three digits and no minus sign, so every value is kept to 0..999 before it is split:
// readings below 0 (and NaN) show as 0, larger ones as 999. The Fahrenheit conversion applies to the clamped
// Celsius value and keeps 0 as 0. Any unit setting other than 1 means Celsius and sends unit flag 0.
[[nodiscard]] TemperatureReport BuildTemperatureReport(float cpuCelsius, float secondReading, int light,
                                                       int unit) noexcept;

// What a report puts on the display: the three digits (bytes 1-3) as a number, and the unit flag.
[[nodiscard]] int ShownTemperature(const TemperatureReport& report) noexcept;
[[nodiscard]] bool ShowsFahrenheit(const TemperatureReport& report) noexcept;
