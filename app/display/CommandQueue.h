#pragma once

// The worker's first-in first-out list of commands. The UI thread appends, the worker takes; a mutex
// serialises the two.

#include "common/WorkerCommand.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

class CommandQueue {
  public:
    // A burst of device events cannot grow the queue without bound: beyond this many waiting commands new
    // ones are dropped (the rescans already waiting cover them).
    static constexpr size_t kCapacity = 256;

    CommandQueue() = default;
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // Appends command; false if the queue is full and the command was dropped.
    bool Push(WorkerCommand command) noexcept;
    // Removes and returns the oldest command, or nothing if the queue is empty.
    [[nodiscard]] std::optional<WorkerCommand> Pop() noexcept;
    [[nodiscard]] size_t Size() const noexcept;

  private:
    mutable std::mutex mutex_;
    std::deque<WorkerCommand> commands_;
};
