#pragma once

// Window timers that controls run on the engine's paint window: each tick reaches the control's OnTimer.
//
// Ids. The engine keeps a few window timers of its own (the banner's and the caret's, below). A control
// chooses its own key; the window timer id behind it comes from a counter that advances as
// (counter + 1) mod 240 before each new timer and starts at 4096, so the first control timer is 17. Ids that
// the engine keeps, 0, and ids still held by another record (a stopped timer keeps its id for a restart) are
// skipped; when all 240 are taken, no new timer starts.

#include "core/RecursiveLock.h"

#include <windows.h>

#include <vector>

namespace Tessel {

class MControl;

// The engine's own window timers.
inline constexpr UINT kBannerHoldTimer = 66;      // a message banner stays up
inline constexpr UINT kBannerFadeTimer = 88;      // the banner fades out
inline constexpr UINT kBannerProgressTimer = 99;  // the progress banner moves towards its target
inline constexpr UINT kCaretTimer = 6553;         // the emulated caret blinks

class ControlTimers {
  public:
    // Starts the control's timer `key` on `hwnd`, or restarts it if it was stopped. FALSE when it runs
    // already or the system refuses.
    BOOL Set(HWND hwnd, MControl* control, UINT key, UINT elapse);
    // Stops the running timer; its record stays for a restart. FALSE when there is none.
    BOOL Kill(HWND hwnd, MControl* control, UINT key);
    // Removes every timer of the control on `hwnd`.
    void Kill(HWND hwnd, MControl* control);
    // Removes every timer of the control on any window: the control is going away.
    void Forget(MControl* control);
    // Stops the running timers of `hwnd` and forgets all records.
    void Clear(HWND hwnd);
    // WM_TIMER for a control timer: the owners of running timers with that id get their OnTimer.
    void Tick(HWND hwnd, UINT windowTimerId);

  private:
    struct Record {
        HWND hwnd = nullptr;
        UINT key = 0;
        UINT windowTimerId = 0;
        BOOL stopped = FALSE;
        MControl* control = nullptr;  // not owned
    };
    [[nodiscard]] bool Taken(UINT id) const noexcept;
    // Removes the records that `match` selects, stopping the running ones.
    template <typename Match>
    void RemoveIf(Match&& match);

    std::vector<Record> records_;
    UINT lastId_ = 4096;
    RecursiveLock lock_;
};

}  // namespace Tessel
