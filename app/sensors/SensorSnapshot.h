#pragma once

// The sensor server's shared block: 772 bytes of named paging-file memory that the server overwrites in place
// and the program maps read-only. Readings are little-endian IEEE float32.

#include <windows.h>

#include <cstddef>

inline constexpr char kSensorBlockName[] = "quorin_hardware_mapfile";
inline constexpr DWORD kSensorBlockSize = 772;
inline constexpr size_t kSecondReadingOffset =
    132;  // shown as the display's second value, no unit conversion
inline constexpr size_t kCpuTemperatureOffset = 152;  // degrees Celsius
inline constexpr size_t kLivenessOffset = 156;        // 0 or below: the server delivers nothing yet

struct SensorSnapshot {
    unsigned char bytes[kSensorBlockSize];
};
static_assert(sizeof(SensorSnapshot) == 772);

// Creates or opens the block and maps a read-only view of it. The handle and view are kept for the life of
// the process. A block that exists but is smaller than 772 bytes is refused (and left unmapped), so no reader
// ever goes past its end.
[[nodiscard]] bool MapSensorSnapshot(HANDLE* mapping, void** view) noexcept;

// One aligned 4-byte read of the float at offset (another process may be writing the block meanwhile).
[[nodiscard]] float ReadSnapshotFloat(const SensorSnapshot& snapshot, size_t offset) noexcept;

// Truncation toward zero, defined for every bit pattern: NaN reads as 0, values beyond the 32-bit range
// (infinities included) saturate to INT_MIN or INT_MAX.
[[nodiscard]] int TruncateReading(float value) noexcept;

[[nodiscard]] inline int SnapshotCpuTemperature(const SensorSnapshot& s) noexcept {
    return TruncateReading(ReadSnapshotFloat(s, kCpuTemperatureOffset));
}
[[nodiscard]] inline int SnapshotSecondReading(const SensorSnapshot& s) noexcept {
    return TruncateReading(ReadSnapshotFloat(s, kSecondReadingOffset));
}
[[nodiscard]] inline float SnapshotLiveness(const SensorSnapshot& s) noexcept {
    return ReadSnapshotFloat(s, kLivenessOffset);
}
