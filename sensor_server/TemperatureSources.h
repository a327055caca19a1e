#pragma once

// Where the CPU temperature comes from. On Windows: the ACPI thermal zones that WMI reports. Under wine: the
// Linux host's CPU sensors (hwmon drivers, thermal zones) seen through the Z: drive, then WMI. No source is
// ever made up: when none answers, the caller is told why.

#include "ServerConfig.h"

#include <memory>
#include <string>

// Readings outside this range are taken for a sensor that is absent or broken.
inline constexpr float kMinPlausibleCelsius = -40.0f;
inline constexpr float kMaxPlausibleCelsius = 150.0f;

class TemperatureSource {
  public:
    virtual ~TemperatureSource() = default;
    // The current temperature in degrees Celsius; false when the source gave no plausible value.
    [[nodiscard]] virtual bool Read(float* celsius) = 0;
    // Which sensor this is, for the server's messages.
    [[nodiscard]] virtual const std::string& Name() const noexcept = 0;
};

[[nodiscard]] bool IsRunningUnderWine() noexcept;

// The best CPU sensor of a Linux /sys tree (sysfsRoot is where it appears, e.g. "Z:\sys"), in this order:
// a CPU hwmon driver (coretemp, k10temp, zenpower, cpu_thermal; its package or die sensor first), then a
// thermal zone of type x86_pkg_temp, then one whose type names the CPU, then acpitz. Null with a reason when
// none gives a plausible reading.
[[nodiscard]] std::unique_ptr<TemperatureSource> FindLinuxCpuSensor(const std::wstring& sysfsRoot,
                                                                    std::string* reason);

// The hottest ACPI thermal zone through WMI: ROOT\WMI MSAcpi_ThermalZoneTemperature, else ROOT\CIMV2
// Win32_PerfFormattedData_Counters_ThermalZoneInformation. COM must be initialised on the calling thread.
[[nodiscard]] std::unique_ptr<TemperatureSource> FindWmiThermalZone(std::string* reason);

// The best source this system offers (the Linux sensors only under wine), or null with every reason.
[[nodiscard]] std::unique_ptr<TemperatureSource> FindTemperatureSource(const ServerConfig& config,
                                                                       std::string* reason);
