#include "shell/TrayIcon.h"

#include "controls/MRender.h"

#include <iterator>

// The full record: 956 bytes in a 32-bit build, 976 in a 64-bit one.
static_assert(sizeof(NOTIFYICONDATAW) == (sizeof(void*) == 8 ? 976 : 956), "the tray record's layout");

TrayIcon::TrayIcon() noexcept {
    record_.cbSize = sizeof(record_);
}

void TrayIcon::Add(HWND window, UINT id, UINT callbackMessage, const wchar_t* iconFile,
                   const wchar_t* tip) noexcept {
    Remove();
    icon_.reset(Tessel::MRender::LoadIconFromFile(iconFile));
    record_.hWnd = window;
    record_.uID = id;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = callbackMessage;
    record_.hIcon = icon_.get();
    ::lstrcpynW(record_.szTip, tip, static_cast<int>(std::size(record_.szTip)));
    ::Shell_NotifyIconW(NIM_ADD, &record_);
}

void TrayIcon::AddAgain() noexcept {
    if (icon_) {
        ::Shell_NotifyIconW(NIM_ADD, &record_);
    }
}

void TrayIcon::Remove() noexcept {
    if (!icon_) {
        return;
    }
    ::Shell_NotifyIconW(NIM_DELETE, &record_);
    record_.hIcon = nullptr;
    icon_.reset();
}
