#pragma once

// One of the engine's two ordered lists of controls (the area controls of the background layer, and the
// ordinary controls) with the lock that guards it. The list owns its controls. Loops over it hold the lock
// for the whole walk; the lock is re-entrant, so a control may add to or remove from the list from inside a
// call that the walk makes, and walks that must survive that go by index.

#include "core/RecursiveLock.h"

#include <windows.h>

#include <vector>

namespace Tessel {

class MControl;

// Helpers for every owned list of controls (the engine's and a control's children).
// By id among `list` and, depth first, the children of each; null if none.
[[nodiscard]] MControl* FindControl(const std::vector<MControl*>& list, UINT id);
// Appends under the lock.
void AppendControl(std::vector<MControl*>& list, RecursiveLock& lock, MControl* control);
// Deletes every control under the lock. A control's destructor may look at the list: it is emptied before
// the first delete.
void DeleteControls(std::vector<MControl*>& list, RecursiveLock& lock);

class ControlList {
  public:
    void Add(MControl* control);
    // Deletes the control if it is in the list; otherwise nothing happens.
    void Remove(MControl* control);
    // Deletes every control.
    void Clear();
    // By id among the controls and, depth first, their children; null if none. Takes no lock.
    [[nodiscard]] MControl* Find(UINT id) const { return FindControl(items_, id); }

    [[nodiscard]] std::vector<MControl*>& Items() noexcept { return items_; }
    [[nodiscard]] RecursiveLock& Lock() noexcept { return lock_; }

  private:
    std::vector<MControl*> items_;  // owned
    RecursiveLock lock_;
};

}  // namespace Tessel
