#pragma once

// The CPU load in percent over the time between two samples of GetSystemTimes.

#include <windows.h>

#include <cstdint>

class CpuLoadMeter {
  public:
    // Takes the first sample; the first Sample() call measures from here.
    CpuLoadMeter() noexcept;

    // The load since the previous sample, in 0..100. False (and *percent untouched) when the system times
    // cannot be read or no time has passed.
    [[nodiscard]] bool Sample(float* percent) noexcept;

    // The arithmetic, kept apart for the edge cases: idle and kernel times are deltas in 100 ns units, the
    // kernel time including the idle time as GetSystemTimes reports it.
    [[nodiscard]] static bool LoadPercent(uint64_t idle, uint64_t kernel, uint64_t user,
                                          float* percent) noexcept;

  private:
    bool valid_ = false;
    uint64_t idle_ = 0;
    uint64_t kernel_ = 0;
    uint64_t user_ = 0;
};
