#include "display/CommandQueue.h"

bool CommandQueue::Push(int command) noexcept {
    std::lock_guard lock(mutex_);
    if (commands_.size() >= kCapacity) {
        return false;
    }
    commands_.push_back(command);
    return true;
}

std::optional<int> CommandQueue::Pop() noexcept {
    std::lock_guard lock(mutex_);
    if (commands_.empty()) {
        return std::nullopt;
    }
    const int command = commands_.front();
    commands_.pop_front();
    return command;
}

size_t CommandQueue::Size() const noexcept {
    std::lock_guard lock(mutex_);
    return commands_.size();
}
