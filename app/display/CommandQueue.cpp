#include "display/CommandQueue.h"

bool CommandQueue::Push(WorkerCommand command) noexcept {
    std::lock_guard lock(mutex_);
    if (commands_.size() >= kCapacity) {
        return false;
    }
    commands_.push_back(command);
    return true;
}

std::optional<WorkerCommand> CommandQueue::Pop() noexcept {
    std::lock_guard lock(mutex_);
    if (commands_.empty()) {
        return std::nullopt;
    }
    const WorkerCommand command = commands_.front();
    commands_.pop_front();
    return command;
}

size_t CommandQueue::Size() const noexcept {
    std::lock_guard lock(mutex_);
    return commands_.size();
}
