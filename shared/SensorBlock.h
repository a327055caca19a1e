#pragma once

// The sensor server's shared block: 772 bytes of named paging-file memory that the server (sensor_server)
// overwrites in place and the program (app/sensors) maps read-only. Readings are little-endian IEEE float32
// at offsets that are multiples of 4, each written and read as one aligned 4-byte access.

#include <windows.h>

#include <cstddef>

inline constexpr char kSensorBlockName[] = "quorin_hardware_mapfile";
inline constexpr DWORD kSensorBlockSize = 772;
inline constexpr size_t kSecondReadingOffset =
    132;  // shown as the display's second value, no unit conversion
inline constexpr size_t kCpuTemperatureOffset = 152;  // degrees Celsius
inline constexpr size_t kLivenessOffset = 156;        // 0 or below: the server delivers nothing yet
