#include "shell/Startup.h"

#include "common/Product.h"

#include "win/Handle.h"

bool ClaimSingleInstance(HANDLE* mutex) noexcept {
    UniqueHandle handle(::CreateMutexW(nullptr, TRUE, kProductTitle));
    if (handle && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        *mutex = nullptr;
        return false;
    }
    *mutex = handle.release();  // held for the program's life
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
