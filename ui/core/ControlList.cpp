#include "core/ControlList.h"

#include "controls/MControl.h"

#include <algorithm>

namespace Tessel {

void ControlList::Add(MControl* control) {
    LockGuard guard(lock_);
    items_.push_back(control);
}

void ControlList::Remove(MControl* control) {
    if (control == nullptr)
        return;
    LockGuard guard(lock_);
    auto it = std::find(items_.begin(), items_.end(), control);
    if (it == items_.end())
        return;
    items_.erase(it);
    delete control;
}

void ControlList::Clear() {
    LockGuard guard(lock_);
    std::vector<MControl*> doomed;
    doomed.swap(items_);
    for (MControl* control : doomed)
        delete control;
}

MControl* ControlList::Find(UINT id) const {
    for (MControl* control : items_) {
        if (control->GetControlID() == id)
            return control;
        if (MControl* found = control->GetControl(id))
            return found;
    }
    return nullptr;
}

}  // namespace Tessel
