// Keeps the prefix's default desktop in use for a whole test run (started by scripts/wine-env.sh).
//
// Wine closes the desktop, and the explorer.exe that serves it, a few seconds after its last program has
// gone. The next program that needs a window then starts a new explorer.exe, which inherits that program's
// output pipe and can keep it open long after the program has ended, so the test runner waits for nothing.
//
// A program started while another one brings the desktop up can fail to start at all under wine, so the
// keeper creates READY_FILE once the desktop is there, and scripts/wine-env.sh starts nothing before that.
//
//   KeepDesktop.exe [SECONDS [READY_FILE]]   (default 7200; the run's end normally stops it earlier)

#include "win/Handle.h"

#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR args, int) {
    wchar_t* rest = nullptr;
    long seconds = std::wcstol(args, &rest, 10);
    if (seconds <= 0) {
        seconds = 7200;
    }
    const UniqueWindow window(::CreateWindowExW(0, L"STATIC", L"KeepDesktop", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                nullptr, instance, nullptr));
    if (!window) {
        return 1;
    }
    ::GetDesktopWindow();  // brings the desktop up and waits until it is there
    while (*rest == L' ') {
        ++rest;
    }
    if (*rest != L'\0') {
        const UniqueFileHandle ready(
            ::CreateFileW(rest, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!ready) {
            return 1;
        }
    }
    ::SetTimer(window.get(), 1, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) {
            break;
        }
        ::DispatchMessageW(&msg);
    }
    return 0;
}
