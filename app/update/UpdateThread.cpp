#include "update/UpdateThread.h"

#include "shell/ProgramLog.h"

UpdateThread::~UpdateThread() {
    Shutdown();
}

bool UpdateThread::HandOver(int command, int displayModel) noexcept {
    {
        std::lock_guard lock(mutex_);
        if (jobs_.size() < kCapacity) {
            try {
                jobs_.push_back({command, displayModel});
                return true;
            } catch (...) {
                // Out of memory: dropped like a command beyond the capacity.
            }
        }
    }
    LogEvent(L"Update command %d dropped: too many are waiting", command);
    return false;
}

void UpdateThread::Shutdown() noexcept {
    updater_.Cancel();
    {
        std::lock_guard lock(mutex_);
        jobs_.clear();
    }
    StopAndJoin();
}

void UpdateThread::Step() noexcept {
    Job job{};
    {
        std::lock_guard lock(mutex_);
        if (jobs_.empty()) {
            return;
        }
        job = jobs_.front();
        jobs_.pop_front();
    }
    updater_.RunCommand(job.command, job.displayModel);
}
