#pragma once

// An ordered, owned list of controls with the lock that guards it: the engine's two (the area controls of the
// background layer, and the ordinary controls) and each control's two lists of children. The list owns its
// controls. Loops over it hold the lock for the whole walk; the lock is re-entrant, so a control may add to
// or remove from the list from inside a call that the walk makes, and walks that must survive that go by
// index.

#include "core/RecursiveLock.h"

#include <windows.h>

#include <vector>

namespace Tessel {

class MControl;

class ControlList {
  public:
    // Appends under the lock; the list owns the control from then on.
    void Add(MControl* control);
    // Deletes the control if it is in the list; otherwise nothing happens.
    void Remove(MControl* control);
    // Deletes every control under the lock. A control's destructor may look at the list: it is emptied
    // before the first delete.
    void Clear();
    // By id among the controls and, depth first, their children; null if none. Takes no lock.
    [[nodiscard]] MControl* Find(UINT id) const;

    [[nodiscard]] std::vector<MControl*>& Items() noexcept { return items_; }
    [[nodiscard]] RecursiveLock& Lock() noexcept { return lock_; }

  private:
    std::vector<MControl*> items_;  // owned
    RecursiveLock lock_;
};

}  // namespace Tessel
