#pragma once

// Where the update server is. The product asks its built-in address. A test or staging server can be named
// only machine-wide, in HKLM\SOFTWARE\<product title>, value "UpdateServer" (REG_SZ), which only
// administrators can write: the program runs elevated and starts what it downloads, so the address never
// comes from a place an ordinary process of the user can change (such as the environment).

#include <string>

inline constexpr wchar_t kUpdateBaseUrl[] = L"https://updates.calidra.app/";
inline constexpr wchar_t kUpdateServerValue[] = L"UpdateServer";
inline constexpr size_t kMaxUpdateBaseUrlLength = 200;

// The override if it is set and acceptable, else the built-in address. Always ends with "/".
[[nodiscard]] std::wstring ReadUpdateBaseUrl() noexcept;

// text with a "/" appended if it lacks one, when it is an https:// address with a host, at most
// kMaxUpdateBaseUrlLength characters, without white space, control characters, user information, query or
// fragment; otherwise empty.
[[nodiscard]] std::wstring AcceptableBaseUrl(const std::wstring& text);
