#pragma once

// The user's two display choices, kept as decimal texts (REG_SZ) under HKCU\SOFTWARE\<product title>.
// Registry errors are silent: a failed read yields 0, a failed write leaves the registry unchanged.

inline constexpr wchar_t kSettingLight[] = L"led_switch";  // "1" on, "2" off; 0 = never stored
inline constexpr wchar_t kSettingUnit[] = L"tempe_type";   // "0" Celsius, "1" Fahrenheit

// The value's leading decimal integer (0 if missing, unreadable, longer than 255 bytes or not numeric).
// Opening a missing key creates it.
[[nodiscard]] int ReadSetting(const wchar_t* name) noexcept;

// Writes text as REG_SZ with its terminating NUL; writes nothing if the key cannot be opened.
void WriteSetting(const wchar_t* name, const wchar_t* text) noexcept;

// "led_switch" with the first-start rule: nothing (or "0") stored means light on, and "1" is written back.
[[nodiscard]] int ReadLightSetting() noexcept;
