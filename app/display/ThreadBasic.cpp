#include "display/ThreadBasic.h"

#include <process.h>

CThreadBasic::~CThreadBasic() {
    StopAndJoin();
}

void CThreadBasic::StopAndJoin() noexcept {
    Stop();
    Join();
}

bool CThreadBasic::Start() noexcept {
    if (thread_) {
        if (::WaitForSingleObject(thread_.get(), 0) != WAIT_OBJECT_0) {
            return false;
        }
        thread_.reset();
    }
    period_ = kLoopPeriodMs;
    startTick_ = ::GetTickCount();
    stoppedEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    wakeEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stoppedEvent_ || !wakeEvent_) {
        return false;
    }
    running_.store(1);
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, &CThreadBasic::ThreadProc, this, 0, nullptr);
    if (thread == 0) {
        running_.store(0);
        return false;
    }
    thread_.reset(reinterpret_cast<HANDLE>(thread));
    return true;
}

bool CThreadBasic::Stop() noexcept {
    if (running_.exchange(0) == 0) {
        return !thread_ || ::WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0;
    }
    ::SetEvent(wakeEvent_.get());
    if (::WaitForSingleObject(stoppedEvent_.get(), kStopWaitMs) != WAIT_OBJECT_0) {
        // The loop is still inside a long step and will signal this event later: keep it open.
        return false;
    }
    stoppedEvent_.reset();
    return true;
}

void CThreadBasic::Join() noexcept {
    if (thread_) {
        ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
}

void CThreadBasic::Pause(DWORD ms) noexcept {
    if (wakeEvent_) {
        ::WaitForSingleObject(wakeEvent_.get(), ms);
    } else {
        ::Sleep(ms);
    }
}

unsigned __stdcall CThreadBasic::ThreadProc(void* param) noexcept {
    auto* self = static_cast<CThreadBasic*>(param);
    while (self->running_.load() != 0) {
        self->Step();
        ::Sleep(self->period_);
    }
    const DWORD exitCode = self->startTick_;
    // After this the object may be gone: nothing of it is touched any more.
    ::SetEvent(self->stoppedEvent_.get());
    return exitCode;
}
