#pragma once

#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>

#include <vector>

namespace Tessel {

// Periodic multimedia timers whose ticks arrive on the system's timer thread as OnMTimer calls. Every object
// is known process-wide so that a tick finds its owner by timer id; a tick for a timer that has been stopped
// (or an owner that is gone) is dropped.
class TESSEL_API MMediaTimer {
  public:
    MMediaTimer() noexcept;
    virtual ~MMediaTimer();
    MMediaTimer(const MMediaTimer&) = delete;
    MMediaTimer& operator=(const MMediaTimer&) = delete;

    // Called on the timer thread for this object's timers.
    virtual void OnMTimer(UINT id, CString name);
    virtual void OnMTimer(UINT id);

    // Starts a periodic timer of `elapse` ms; its id, or 0 when the system refuses.
    UINT SetTimer(UINT elapse, CString name, int flag = 0);
    // Stops one of this object's timers; once it returns, no tick of that timer is delivered any more.
    BOOL KillTimer(UINT id);
    // Stops all of this object's timers.
    void KillTimer();
    [[nodiscard]] static MMediaTimer* GetTimerOwner(UINT id);

    // Timer resolution in ms. The system timer is raised to it while any timer of the process runs
    // (m_bIsTmierOK says whether it is), and left as it was once the last one stops.
    static UINT m_uAccuracy;
    static BOOL m_bIsTmierOK;

  private:
    struct Entry {
        UINT id = 0;
        CString name;
        int flag = 0;
    };
    static void CALLBACK OnTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    [[nodiscard]] bool OwnsTimer(UINT id) const noexcept;

    std::vector<Entry> m_timers;  // guarded by the process-wide timer lock
};

}  // namespace Tessel
