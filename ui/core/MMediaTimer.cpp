#include "core/MMediaTimer.h"

#include "core/RecursiveLock.h"

#include <mmsystem.h>

#include <algorithm>

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

}  // namespace

MMediaTimer::MMediaTimer() noexcept {
    LockGuard guard(TimerLock());
    Owners().push_back(this);
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
    if (!m_bIsTmierOK) {
        TIMECAPS caps = {};
        if (::timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR) {
            m_uAccuracy = std::min(std::max(caps.wPeriodMin, 1u), caps.wPeriodMax);
            m_bIsTmierOK = ::timeBeginPeriod(m_uAccuracy) == TIMERR_NOERROR ? TRUE : FALSE;
        }
    }
    UINT id = ::timeSetEvent(elapse, m_uAccuracy, &MMediaTimer::OnTick, reinterpret_cast<DWORD_PTR>(this),
                             TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    if (id != 0)
        m_timers.push_back({id, name, flag});
    return id;
}

BOOL MMediaTimer::KillTimer(UINT id) {
    LockGuard guard(TimerLock());
    auto it = std::find_if(m_timers.begin(), m_timers.end(), [id](const Entry& e) { return e.id == id; });
    if (it == m_timers.end())
        return FALSE;
    ::timeKillEvent(id);
    m_timers.erase(it);
    return TRUE;
}

void MMediaTimer::KillTimer() {
    LockGuard guard(TimerLock());
    for (const Entry& e : m_timers)
        ::timeKillEvent(e.id);
    m_timers.clear();
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
