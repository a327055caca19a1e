#pragma once

// The program's icon in the notification area. The object owns the icon and its shell record; the icon
// leaves the notification area when the object goes, or earlier by Remove.

#include "win/Handle.h"

#include <windows.h>
#include <shellapi.h>

class TrayIcon {
  public:
    TrayIcon() noexcept;
    ~TrayIcon() { Remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Shows the icon of the .ico file for `window`, whose clicks arrive as `callbackMessage`, with `tip`. The
    // icon counts as shown once its file is loaded, whatever the shell answers.
    void Add(HWND window, UINT id, UINT callbackMessage, const wchar_t* iconFile,
             const wchar_t* tip) noexcept;
    // The shell lost its icons (it was restarted): shows the icon again.
    void AddAgain() noexcept;
    // Takes the icon out of the notification area; nothing when it is not shown.
    void Remove() noexcept;
    [[nodiscard]] bool Shown() const noexcept { return icon_.valid(); }

  private:
    NOTIFYICONDATAW record_{};
    UniqueIcon icon_;
};
