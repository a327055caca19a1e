#pragma once

// What a worker step may ask of the thread that runs it: a rest that ends early when the thread is stopped.
// The display link rests through it after each report without knowing the thread (ThreadBasic.h).

#include <windows.h>

class StepPause {
  public:
    // Rests ms, or less if the thread is asked to stop meanwhile.
    virtual void Pause(DWORD ms) noexcept = 0;

  protected:
    ~StepPause() = default;
};
