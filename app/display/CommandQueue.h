#pragma once

// The worker's first-in first-out list of integer commands. The UI thread appends, the worker takes; a mutex
// serialises the two.

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

inline constexpr int kCommandRescan = 1;  // rescan the displays, map the sensor snapshot

class CommandQueue {
  public:
    // A burst of device events cannot grow the queue without bound: beyond this many waiting commands new
    // ones are dropped (the rescans already waiting cover them).
    static constexpr size_t kCapacity = 256;

    CommandQueue() = default;
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // Appends command; false if the queue is full and the command was dropped.
    bool Push(int command) noexcept;
    // Removes and returns the oldest command, or nothing if the queue is empty.
    [[nodiscard]] std::optional<int> Pop() noexcept;
    [[nodiscard]] size_t Size() const noexcept;

  private:
    mutable std::mutex mutex_;
    std::deque<int> commands_;
};
