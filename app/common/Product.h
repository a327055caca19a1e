#pragma once

// The product title names the single-instance mutex, the window marker property, the main window, the tray
// tip, the registry key and the autostart task.
inline constexpr wchar_t kProductTitle[] = L"Kelvaro-DIG";
inline constexpr wchar_t kProductVersion[] = L"1.0.0.5";

// The display models, as the worker and the update work name them (0: no display).
inline constexpr int kModelK1 = 1;
inline constexpr int kModelK2 = 2;
