#pragma once

// The program's single worker thread. A derived class supplies the step; the thread runs it in a loop with a
// short pause after each step until Stop.
//
// A derived class must call StopAndJoin in its own destructor, because the thread calls the derived class's
// Step.

#include "display/StepPause.h"
#include "win/Handle.h"

#include <windows.h>

#include <atomic>

class CThreadBasic : public StepPause {
  public:
    static constexpr DWORD kLoopPeriodMs = 16;
    static constexpr DWORD kStopWaitMs = 1000;

    CThreadBasic() noexcept = default;
    virtual ~CThreadBasic();
    CThreadBasic(const CThreadBasic&) = delete;
    CThreadBasic& operator=(const CThreadBasic&) = delete;

    // Starts the loop. False if it runs already (or a previous loop has not ended yet) or the thread could
    // not be created.
    [[nodiscard]] bool Start() noexcept;

    // Asks the loop to end, wakes a step that is pausing, and waits at most kStopWaitMs for the loop to end.
    // True if it ended in that time (or was not running). False while a long step is still busy: the thread
    // then still uses this object, so Join before destroying it.
    bool Stop() noexcept;

    // Waits without limit until the thread has ended.
    void Join() noexcept;

    [[nodiscard]] bool IsRunning() const noexcept { return running_.load() != 0; }

    // For the step, on the worker thread: sleeps ms, or less if Stop is called meanwhile.
    void Pause(DWORD ms) noexcept override;

    // GetTickCount when the thread was started; also the thread's exit code.
    [[nodiscard]] DWORD StartTick() const noexcept { return startTick_; }

  protected:
    // One unit of work; the loop pauses kLoopPeriodMs after each.
    virtual void Step() noexcept = 0;

    // Stop, then wait until the thread has ended: after it, no Step runs any more.
    void StopAndJoin() noexcept;

  private:
    static unsigned __stdcall ThreadProc(void* self) noexcept;

    UniqueHandle stoppedEvent_;  // manual reset, signalled when the loop has ended
    UniqueHandle wakeEvent_;     // manual reset, signalled by Stop to cut a pause short
    UniqueHandle thread_;
    std::atomic<int> running_{0};
    DWORD period_ = 1;
    DWORD startTick_ = 0;
};
