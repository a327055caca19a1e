#include "sensors/SensorReading.h"

#include <climits>
#include <cmath>

int TruncateReading(float value) noexcept {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0f) {
        return INT_MAX;
    }
    if (value < -2147483648.0f) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}
