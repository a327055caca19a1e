#include "shell/Startup.h"

#include "shell/Product.h"

bool ClaimSingleInstance(HANDLE* mutex) noexcept {
    HANDLE handle = ::CreateMutexW(nullptr, TRUE, kProductTitle);
    if (handle && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(handle);
        *mutex = nullptr;
        return false;
    }
    *mutex = handle;
    return true;
}

HWND FindRunningInstanceWindow() noexcept {
    for (HWND wnd = ::GetWindow(::GetDesktopWindow(), GW_CHILD); ::IsWindow(wnd);
         wnd = ::GetWindow(wnd, GW_HWNDNEXT)) {
        if (::GetPropW(wnd, kProductTitle)) {
            return wnd;
        }
    }
    return nullptr;
}
