#include "display/CommandQueue.h"
#include "display/ThreadBasic.h"

#include "Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Takes one command per step and remembers it, like the main window's step does.
class QueueWorker : public CThreadBasic {
  public:
    ~QueueWorker() override { StopAndJoin(); }
    CommandQueue queue;
    std::mutex mutex;
    std::vector<int> taken;
    std::atomic<int> steps{0};

  protected:
    void Step() noexcept override {
        ++steps;
        if (const auto command = queue.Pop()) {
            std::lock_guard lock(mutex);
            taken.push_back(static_cast<int>(*command));
        }
    }
};

// Pauses inside its step for a minute as the refresh does, or, as a long command does, stays in it without
// heeding Stop until the test releases it.
class PausingWorker : public CThreadBasic {
  public:
    static constexpr DWORD kStepMs = 60000;

    explicit PausingWorker(bool interruptible)
        : interruptible_(interruptible), release_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~PausingWorker() override {
        Release();
        StopAndJoin();
    }
    std::atomic<int> entered{0};
    void Release() { ::SetEvent(release_.get()); }

  protected:
    void Step() noexcept override {
        ++entered;
        if (interruptible_) {
            Pause(kStepMs);
        } else {
            ::WaitForSingleObject(release_.get(), kStepMs);
        }
    }

  private:
    bool interruptible_;
    UniqueHandle release_;
};

bool WaitFor(const std::atomic<int>& value, int atLeast) {
    return testing_support::WaitUntil([&] { return value.load() >= atLeast; });
}

TEST(CommandQueue, IsFirstInFirstOut) {
    CommandQueue queue;
    EXPECT_FALSE(queue.Pop().has_value());
    queue.Push(WorkerCommand::kSoftwareCheck);
    queue.Push(WorkerCommand::kRescan);
    queue.Push(WorkerCommand::kFirmwareCheck);
    EXPECT_EQ(queue.Size(), 3u);
    EXPECT_EQ(queue.Pop(), WorkerCommand::kSoftwareCheck);
    EXPECT_EQ(queue.Pop(), WorkerCommand::kRescan);
    EXPECT_EQ(queue.Pop(), WorkerCommand::kFirmwareCheck);
    EXPECT_FALSE(queue.Pop().has_value());
}

TEST(CommandQueue, DropsCommandsBeyondItsCapacity) {
    CommandQueue queue;
    for (size_t i = 0; i < CommandQueue::kCapacity; ++i) {
        EXPECT_TRUE(queue.Push(WorkerCommand::kRescan));
    }
    EXPECT_FALSE(queue.Push(WorkerCommand::kSoftwareDownload));
    EXPECT_EQ(queue.Size(), CommandQueue::kCapacity);
    static_cast<void>(queue.Pop());
    EXPECT_TRUE(queue.Push(WorkerCommand::kSoftwareDownload));
}

TEST(CThreadBasic, KeepsTheOrderOfCommandsQueuedFromAnotherThread) {
    QueueWorker worker;
    ASSERT_TRUE(worker.Start());
    constexpr int kCommands = 600;
    std::thread producer([&] {
        for (int i = 1; i <= kCommands; ++i) {
            // Numbers beyond the named commands: the queue keeps whatever it is given, in order.
            while (!worker.queue.Push(static_cast<WorkerCommand>(i))) {
                ::Sleep(1);
            }
            if (i % 50 == 0) {
                ::Sleep(3);
            }
        }
    });
    producer.join();
    ASSERT_TRUE(testing_support::WaitUntil(
        [&] {
            std::lock_guard lock(worker.mutex);
            return worker.taken.size() == kCommands;
        },
        30000))
        << "the worker did not take every command";
    EXPECT_TRUE(worker.Stop());
    std::lock_guard lock(worker.mutex);
    for (int i = 0; i < kCommands; ++i) {
        ASSERT_EQ(worker.taken[static_cast<size_t>(i)], i + 1);
    }
}

TEST(CThreadBasic, StartsOnceAndStopsTheLoop) {
    QueueWorker worker;
    EXPECT_TRUE(worker.Stop());  // not started: nothing to do
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start());
    ASSERT_TRUE(WaitFor(worker.steps, 3));
    EXPECT_TRUE(worker.Stop());
    EXPECT_FALSE(worker.IsRunning());
    const int steps = worker.steps.load();
    worker.Join();
    EXPECT_EQ(worker.steps.load(), steps) << "a step after Stop";
    // It can run again after a complete stop.
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitFor(worker.steps, steps + 1));
    EXPECT_TRUE(worker.Stop());
}

TEST(CThreadBasic, StopCutsTheRefreshPauseShort) {
    PausingWorker worker(true);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitFor(worker.entered, 1));
    // The step is pausing for a minute: Stop still ends the loop within its bound.
    EXPECT_TRUE(worker.Stop());
    EXPECT_EQ(worker.entered.load(), 1);
}

TEST(CThreadBasic, StopReportsALongStepThatOutlastsItsBound) {
    PausingWorker worker(false);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitFor(worker.entered, 1));
    EXPECT_FALSE(worker.Stop());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_FALSE(worker.Start());  // the old loop has not ended yet
    worker.Release();
    worker.Join();
    EXPECT_EQ(worker.entered.load(), 1);
    EXPECT_TRUE(worker.Stop());
}

}  // namespace
