#include "core/MMediaTimer.h"

#include "core/RecursiveLock.h"
#include "win/ScopeGuards.h"

#include <mmsystem.h>

#include <algorithm>
#include <optional>

namespace Tessel {

UINT MMediaTimer::m_uAccuracy = 1;
BOOL MMediaTimer::m_bIsTmierOK = FALSE;

namespace {

// Guards the list of objects and every object's timer list. A tick holds it while it is delivered, so
// stopping a timer (or destroying its owner) waits for a tick in flight and no later tick finds the owner.
RecursiveLock& TimerLock() {
    static RecursiveLock lock;
    return lock;
}

std::vector<MMediaTimer*>& Owners() {
    static std::vector<MMediaTimer*> owners;
    return owners;
}

// The raised timer resolution: held while any object of the process has a timer running, so that an idle
// program leaves the system timer as it found it.
std::optional<TimerPeriodScope>& RaisedPeriod() {
    static std::optional<TimerPeriodScope> period;
    return period;
}

// How many timers run in the whole process.
size_t& RunningTimers() {
    static size_t running = 0;
    return running;
}

void RaisePeriod() {
    if (RaisedPeriod())
        return;
    TIMECAPS caps = {};
    if (::timeGetDevCaps(&caps, sizeof(caps)) != TIMERR_NOERROR)
        return;
    MMediaTimer::m_uAccuracy = std::min(std::max(caps.wPeriodMin, 1u), caps.wPeriodMax);
    RaisedPeriod().emplace(MMediaTimer::m_uAccuracy);
    if (!RaisedPeriod()->ok())
        RaisedPeriod().reset();
    MMediaTimer::m_bIsTmierOK = RaisedPeriod() ? TRUE : FALSE;
}

void EndPeriodWhenIdle() {
    if (RunningTimers() == 0) {
        RaisedPeriod().reset();
        MMediaTimer::m_bIsTmierOK = FALSE;
    }
}

}  // namespace

MMediaTimer::MMediaTimer() noexcept {
    LockGuard guard(TimerLock());
    Owners().push_back(this);
    // Made before the first object is done, the period outlives every object (statics end in reverse order).
    (void)RaisedPeriod();
}

MMediaTimer::~MMediaTimer() {
    LockGuard guard(TimerLock());
    KillTimer();
    auto& owners = Owners();
    owners.erase(std::remove(owners.begin(), owners.end(), this), owners.end());
}

void MMediaTimer::OnMTimer(UINT, CString) {}

void MMediaTimer::OnMTimer(UINT) {}

UINT MMediaTimer::SetTimer(UINT elapse, CString name, int flag) {
    LockGuard guard(TimerLock());
    RaisePeriod();
    UINT id = ::timeSetEvent(elapse, m_uAccuracy, &MMediaTimer::OnTick, reinterpret_cast<DWORD_PTR>(this),
                             TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    if (id != 0) {
        m_timers.push_back({id, name, flag});
        ++RunningTimers();
    } else {
        EndPeriodWhenIdle();
    }
    return id;
}

BOOL MMediaTimer::KillTimer(UINT id) {
    LockGuard guard(TimerLock());
    auto it = std::find_if(m_timers.begin(), m_timers.end(), [id](const Entry& e) { return e.id == id; });
    if (it == m_timers.end())
        return FALSE;
    ::timeKillEvent(id);
    m_timers.erase(it);
    --RunningTimers();
    EndPeriodWhenIdle();
    return TRUE;
}

void MMediaTimer::KillTimer() {
    LockGuard guard(TimerLock());
    for (const Entry& e : m_timers)
        ::timeKillEvent(e.id);
    RunningTimers() -= m_timers.size();
    m_timers.clear();
    EndPeriodWhenIdle();
}

bool MMediaTimer::OwnsTimer(UINT id) const noexcept {
    return std::any_of(m_timers.begin(), m_timers.end(), [id](const Entry& e) { return e.id == id; });
}

MMediaTimer* MMediaTimer::GetTimerOwner(UINT id) {
    LockGuard guard(TimerLock());
    for (MMediaTimer* owner : Owners()) {
        if (owner->OwnsTimer(id))
            return owner;
    }
    return nullptr;
}

void CALLBACK MMediaTimer::OnTick(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    // The owner is looked up rather than taken from the callback's data: a stopped timer may still tick once.
    LockGuard guard(TimerLock());
    MMediaTimer* owner = GetTimerOwner(id);
    if (owner == nullptr)
        return;
    owner->OnMTimer(id);
    auto it = std::find_if(owner->m_timers.begin(), owner->m_timers.end(),
                           [id](const Entry& e) { return e.id == id; });
    if (it != owner->m_timers.end())
        owner->OnMTimer(id, it->name);
}

}  // namespace Tessel
