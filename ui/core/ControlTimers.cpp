#include "core/ControlTimers.h"

#include "controls/MControl.h"

#include <algorithm>

namespace Tessel {

namespace {

constexpr UINT kTimerIdCycle = 240;

bool IsEngineTimerId(UINT id) noexcept {
    return id == 0 || id == kBannerHoldTimer || id == kBannerFadeTimer || id == kBannerProgressTimer;
}

}  // namespace

bool ControlTimers::Taken(UINT id) const noexcept {
    return IsEngineTimerId(id) || std::any_of(records_.begin(), records_.end(),
                                              [id](const Record& r) { return r.windowTimerId == id; });
}

BOOL ControlTimers::Set(HWND hwnd, MControl* control, UINT key, UINT elapse) {
    if (control == nullptr || hwnd == nullptr)
        return FALSE;
    LockGuard guard(lock_);
    for (Record& record : records_) {
        if (record.control == control && record.hwnd == hwnd && record.key == key) {
            if (!record.stopped)
                return FALSE;
            if (::SetTimer(hwnd, record.windowTimerId, elapse, nullptr) == 0)
                return FALSE;
            record.stopped = FALSE;
            return TRUE;
        }
    }
    UINT id = lastId_;
    for (UINT tries = 0; tries < kTimerIdCycle; ++tries) {
        id = (id + 1) % kTimerIdCycle;
        if (!Taken(id))
            break;
    }
    if (Taken(id))
        return FALSE;
    lastId_ = id;
    if (::SetTimer(hwnd, id, elapse, nullptr) == 0)
        return FALSE;
    records_.push_back({hwnd, key, id, FALSE, control});
    return TRUE;
}

BOOL ControlTimers::Kill(HWND hwnd, MControl* control, UINT key) {
    LockGuard guard(lock_);
    for (Record& record : records_) {
        if (record.control == control && record.hwnd == hwnd && record.key == key && !record.stopped) {
            if (::IsWindow(record.hwnd))
                ::KillTimer(record.hwnd, record.windowTimerId);
            record.stopped = TRUE;
            return TRUE;
        }
    }
    return FALSE;
}

template <typename Match>
void ControlTimers::RemoveIf(Match&& match) {
    LockGuard guard(lock_);
    auto gone = std::remove_if(records_.begin(), records_.end(), [&match](const Record& r) {
        if (!match(r))
            return false;
        if (!r.stopped && ::IsWindow(r.hwnd))
            ::KillTimer(r.hwnd, r.windowTimerId);
        return true;
    });
    records_.erase(gone, records_.end());
}

void ControlTimers::Kill(HWND hwnd, MControl* control) {
    RemoveIf([hwnd, control](const Record& r) { return r.control == control && r.hwnd == hwnd; });
}

void ControlTimers::Forget(MControl* control) {
    RemoveIf([control](const Record& r) { return r.control == control; });
}

void ControlTimers::Clear(HWND hwnd) {
    LockGuard guard(lock_);
    for (const Record& record : records_) {
        if (!record.stopped && record.hwnd == hwnd && ::IsWindow(record.hwnd))
            ::KillTimer(record.hwnd, record.windowTimerId);
    }
    records_.clear();
}

void ControlTimers::Tick(HWND hwnd, UINT windowTimerId) {
    LockGuard guard(lock_);
    // A control's tick may start or stop timers: the owners are collected first.
    std::vector<MControl*> due;
    for (const Record& record : records_) {
        if (!record.stopped && record.hwnd == hwnd && record.windowTimerId == windowTimerId)
            due.push_back(record.control);
    }
    for (MControl* control : due)
        control->OnTimer();
}

}  // namespace Tessel
