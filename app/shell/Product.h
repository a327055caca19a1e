#pragma once

// The product title names the single-instance mutex, the window marker property, the main window, the tray
// tip, the registry key and the autostart task.
inline constexpr wchar_t kProductTitle[] = L"Kelvaro-DIG";
inline constexpr wchar_t kProductVersion[] = L"1.0.0.5";
