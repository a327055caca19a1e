#pragma once

// The tests' one way to wait for something that happens on another thread, in another process or through
// the window messages of this thread.

#include <windows.h>

#include <functional>

namespace testing_support {

enum class WhileWaiting {
    Sleep,
    // Dispatches this thread's window messages. Only for tests with a window: message calls in a process
    // without one make wine start a desktop process, which can outlive the test.
    PumpMessages,
};

// How long a test waits for what should happen before it gives up: far beyond what it takes on a loaded
// machine, so that only a real fault runs into it.
inline constexpr DWORD kGiveUpMs = 15000;

// Polls `done` every 10 ms until it holds or `timeoutMs` have passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kGiveUpMs,
                      WhileWaiting mode = WhileWaiting::Sleep) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() > end) {
            return false;
        }
        if (mode == WhileWaiting::Sleep) {
            ::Sleep(10);
            continue;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

}  // namespace testing_support
