#include "display/StatusPost.h"

std::optional<uint32_t> StatusPost::ToPost(uint32_t status) noexcept {
    latest_.store(status);
    if (status == posted_.load() || !shown_.load()) {
        return std::nullopt;
    }
    return status;
}

std::optional<uint32_t> StatusPost::SetShown(bool shown) noexcept {
    shown_.store(shown);
    if (!shown) {
        return std::nullopt;
    }
    posted_.store(kNone);
    const uint32_t latest = latest_.load();
    if (latest == kNone) {
        return std::nullopt;
    }
    return latest;
}
