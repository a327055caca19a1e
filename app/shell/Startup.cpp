#include "shell/Startup.h"

#include "shell/Product.h"

#include "core/Handle.h"

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

bool EnableDebugPrivilege() noexcept {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid);
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
    // A partial assignment succeeds but leaves ERROR_NOT_ALL_ASSIGNED behind: that counts as failure.
    return ::GetLastError() == ERROR_SUCCESS;
}
