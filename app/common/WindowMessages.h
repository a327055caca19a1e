#pragma once

// Window messages that other parts of the program send to the main window.

#include <windows.h>

// The tray icon's callback message: wParam the icon's id, lParam the mouse message. Lower-integrity
// processes (the shell) may send it, so nothing else travels on it.
inline constexpr UINT kTrayCallbackMessage = WM_USER + 666;
// The package download's progress (wParam 0, lParam the value). The window shows none; a message of its own,
// so that no progress value can be taken for a click on the icon.
inline constexpr UINT kDownloadProgressMessage = WM_USER + 667;
// Posted by the update work on the worker thread; wParam says what happened (kUpdate... in
// update/UpdateResults.h).
inline constexpr UINT kUpdateResultMessage = WM_USER + 668;
// Posted by the worker when what the displays show has changed: wParam the packed DisplayStatus.
inline constexpr UINT kDisplayStatusMessage = WM_USER + 669;
