#include "core/ControlList.h"

#include "controls/MControl.h"

#include <algorithm>

namespace Tessel {

void AppendControl(std::vector<MControl*>& list, RecursiveLock& lock, MControl* control) {
    LockGuard guard(lock);
    list.push_back(control);
}

void DeleteControls(std::vector<MControl*>& list, RecursiveLock& lock) {
    LockGuard guard(lock);
    std::vector<MControl*> doomed;
    doomed.swap(list);
    for (MControl* control : doomed)
        delete control;
}

void ControlList::Add(MControl* control) {
    AppendControl(items_, lock_, control);
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
    DeleteControls(items_, lock_);
}

MControl* FindControl(const std::vector<MControl*>& list, UINT id) {
    for (MControl* control : list) {
        if (control->GetControlID() == id)
            return control;
        if (MControl* found = control->GetControl(id))
            return found;
    }
    return nullptr;
}

}  // namespace Tessel
