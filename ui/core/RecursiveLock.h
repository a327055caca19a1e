#pragma once

#include <windows.h>

namespace Tessel {

// A re-entrant lock: code reached from inside a locked loop may take the same lock again on its thread.
class RecursiveLock {
  public:
    RecursiveLock() noexcept { ::InitializeCriticalSection(&cs_); }
    ~RecursiveLock() { ::DeleteCriticalSection(&cs_); }
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void Lock() noexcept { ::EnterCriticalSection(&cs_); }
    void Unlock() noexcept { ::LeaveCriticalSection(&cs_); }

  private:
    CRITICAL_SECTION cs_;
};

class LockGuard {
  public:
    explicit LockGuard(RecursiveLock& lock) noexcept : lock_(lock) { lock_.Lock(); }
    ~LockGuard() { lock_.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    RecursiveLock& lock_;
};

}  // namespace Tessel
