#pragma once

// The update work's own thread. The worker hands each update command over, with what it knows at that point
// (the display model), and goes straight back to the displays; this thread performs the commands one at a
// time, in the order they came, with Updater::RunCommand. A check that waits for a silent server, or a
// download the user accepted, therefore never holds the displays' reports. The results reach the window as
// the updater posts them.

#include "display/ThreadBasic.h"
#include "update/Updater.h"

#include <cstddef>
#include <deque>
#include <mutex>

class UpdateThread : private CThreadBasic {
  public:
    // Update commands come once at start-up and once per accepted offer: more waiting than this is a fault,
    // and the surplus is dropped.
    static constexpr size_t kCapacity = 8;

    explicit UpdateThread(Updater& updater) noexcept : updater_(updater) {}
    ~UpdateThread() override;
    UpdateThread(const UpdateThread&) = delete;
    UpdateThread& operator=(const UpdateThread&) = delete;

    // Starts the thread; false if it could not be created (or runs already).
    [[nodiscard]] bool Start() noexcept { return CThreadBasic::Start(); }

    // Worker: appends command (displayModel: 1 K1, 2 K2, 0 none) and returns at once; false if the queue is
    // full and the command was dropped.
    bool HandOver(int command, int displayModel) noexcept;

    // Cancels a running download (it ends after its current read; a version fetch ends within its limits),
    // drops what waits and waits until the thread has ended. Done by the destructor too.
    void Shutdown() noexcept;

  private:
    struct Job {
        int command;
        int displayModel;
    };

    void Step() noexcept override;

    Updater& updater_;
    std::mutex mutex_;
    std::deque<Job> jobs_;
};
