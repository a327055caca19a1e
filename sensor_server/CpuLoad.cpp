#include "CpuLoad.h"

namespace {

uint64_t Ticks(const FILETIME& t) noexcept {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

bool ReadSystemTimes(uint64_t* idle, uint64_t* kernel, uint64_t* user) noexcept {
    FILETIME i{};
    FILETIME k{};
    FILETIME u{};
    if (!::GetSystemTimes(&i, &k, &u)) {
        return false;
    }
    *idle = Ticks(i);
    *kernel = Ticks(k);
    *user = Ticks(u);
    return true;
}

}  // namespace

CpuLoadMeter::CpuLoadMeter() noexcept {
    valid_ = ReadSystemTimes(&idle_, &kernel_, &user_);
}

bool CpuLoadMeter::Sample(float* percent) noexcept {
    uint64_t idle = 0;
    uint64_t kernel = 0;
    uint64_t user = 0;
    if (!ReadSystemTimes(&idle, &kernel, &user)) {
        return false;
    }
    const bool hadPrevious = valid_;
    // Counters that ran backwards (never expected) restart the measurement instead of wrapping around.
    const bool forward = idle >= idle_ && kernel >= kernel_ && user >= user_;
    const uint64_t idleDelta = idle - idle_;
    const uint64_t kernelDelta = kernel - kernel_;
    const uint64_t userDelta = user - user_;
    idle_ = idle;
    kernel_ = kernel;
    user_ = user;
    valid_ = true;
    return hadPrevious && forward && LoadPercent(idleDelta, kernelDelta, userDelta, percent);
}

bool CpuLoadMeter::LoadPercent(uint64_t idle, uint64_t kernel, uint64_t user, float* percent) noexcept {
    const uint64_t total = kernel + user;
    if (total == 0) {
        return false;
    }
    const uint64_t busy = total > idle ? total - idle : 0;
    const double value = 100.0 * static_cast<double>(busy) / static_cast<double>(total);
    *percent = static_cast<float>(value > 100.0 ? 100.0 : value);
    return true;
}
