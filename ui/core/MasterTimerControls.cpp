#include "core/MasterTimerControls.h"

#include "controls/MControl.h"

#include <algorithm>

namespace Tessel {

void MasterTimerControls::Add(MControl* control) {
    LockGuard guard(lock_);
    controls_.push_back(control);
}

BOOL MasterTimerControls::RemoveFirst(MControl* control) {
    LockGuard guard(lock_);
    auto it = std::find(controls_.begin(), controls_.end(), control);
    if (it == controls_.end())
        return FALSE;
    controls_.erase(it);
    return TRUE;
}

void MasterTimerControls::RemoveAll(MControl* control) {
    LockGuard guard(lock_);
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void MasterTimerControls::Tick() {
    LockGuard guard(lock_);
    for (size_t i = 0; i < controls_.size(); ++i)
        controls_[i]->OnTimer();
}

}  // namespace Tessel
