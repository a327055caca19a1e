#pragma once

// Window messages that other parts of the program send to the main window.

#include <windows.h>

// The tray icon's callback message; the package download posts it too (wParam 0, progress in lParam).
inline constexpr UINT kTrayCallbackMessage = WM_USER + 666;
// Posted by the update work on the worker thread; wParam says what happened (kUpdate... in update/Updater.h).
inline constexpr UINT kUpdateResultMessage = WM_USER + 668;
