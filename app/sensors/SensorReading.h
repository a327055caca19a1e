#pragma once

// How a float reading of the sensor block becomes the whole number the program works with.

// Truncation toward zero, defined for every bit pattern: NaN reads as 0, values beyond the 32-bit range
// (infinities included) saturate to INT_MIN or INT_MAX.
[[nodiscard]] int TruncateReading(float value) noexcept;
