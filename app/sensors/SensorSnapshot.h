#pragma once

// The program's side of the sensor server's shared block (SensorBlock.h): a read-only view of it and the
// readings in it.

#include "SensorBlock.h"
#include "sensors/SensorReading.h"

#include "win/Handle.h"

#include <windows.h>

#include <cstddef>

struct SensorSnapshot {
    unsigned char bytes[kSensorBlockSize];
};
static_assert(sizeof(SensorSnapshot) == 772);

// A read-only view of the block; it keeps the block open and mapped while it lives (the program keeps it for
// its whole life).
class SensorSnapshotView {
  public:
    // The block's bytes; null for an empty view.
    [[nodiscard]] const SensorSnapshot* Get() const noexcept {
        return static_cast<const SensorSnapshot*>(view_.get());
    }
    explicit operator bool() const noexcept { return view_.valid(); }

  private:
    friend SensorSnapshotView MapSensorSnapshot() noexcept;

    UniqueHandle section_;
    UniqueMapView view_;
};

// Creates or opens the block and maps it read-only. An empty view when that fails, or when a block that
// exists is smaller than 772 bytes: it is left unmapped, so no reader ever goes past its end.
[[nodiscard]] SensorSnapshotView MapSensorSnapshot() noexcept;

// One aligned 4-byte read of the float at offset (another process may be writing the block meanwhile).
[[nodiscard]] float ReadSnapshotFloat(const SensorSnapshot& snapshot, size_t offset) noexcept;

[[nodiscard]] inline int SnapshotCpuTemperature(const SensorSnapshot& s) noexcept {
    return TruncateReading(ReadSnapshotFloat(s, kCpuTemperatureOffset));
}
[[nodiscard]] inline int SnapshotSecondReading(const SensorSnapshot& s) noexcept {
    return TruncateReading(ReadSnapshotFloat(s, kSecondReadingOffset));
}
[[nodiscard]] inline float SnapshotLiveness(const SensorSnapshot& s) noexcept {
    return ReadSnapshotFloat(s, kLivenessOffset);
}
