#pragma once

// The controls that the engine's master timer ticks. The ticks arrive on the system's multimedia-timer
// thread, so the list has its own lock; a control leaves the list under that lock before it is destroyed.
// The engine does not own the controls.

#include "core/RecursiveLock.h"

#include <windows.h>

#include <vector>

namespace Tessel {

class MControl;

class MasterTimerControls {
  public:
    void Add(MControl* control);
    // Removes the first entry of the control; FALSE when it is not listed.
    BOOL RemoveFirst(MControl* control);
    // Removes every entry of the control.
    void RemoveAll(MControl* control);
    // One tick: OnTimer of every listed control, in order.
    void Tick();
    [[nodiscard]] const std::vector<MControl*>& Controls() const noexcept { return controls_; }

  private:
    std::vector<MControl*> controls_;  // not owned
    RecursiveLock lock_;
};

}  // namespace Tessel
