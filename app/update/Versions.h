#pragma once

// Version texts from the update server, and how they compare with what runs here.

#include <cstddef>
#include <string>

// A version file whose text is empty or longer than this (in UTF-16 code units) is ignored.
inline constexpr size_t kMaxVersionLength = 10;

[[nodiscard]] bool IsVersionText(const std::wstring& text) noexcept;

// Both texts split at every "." (empty components included). 2 if the component counts differ; otherwise the
// first component that differs decides: -1 mine is newer, 1 theirs is newer; 0 if none differs. Components
// are read like _wtoi (leading white space, a sign, digits; no digits gives 0), so "1.0.0.6\n" reads
// as 1.0.0.6. Callers take 1 or more as "theirs is newer", so a different component count counts as newer.
[[nodiscard]] int CompareVersion(const std::wstring& mine, const std::wstring& theirs) noexcept;

// The display reports its firmware as a 16-bit number; the server writes decimal. The display's number is
// written in lower-case hexadecimal and read back as decimal (0x0102 -> "102" -> 102; 0x001A -> "1a" -> 1),
// and the server's text is newer when its leading decimal number is greater.
[[nodiscard]] int DisplayFirmwareNumber(int displayVersion) noexcept;
[[nodiscard]] bool IsFirmwareNewer(const std::wstring& serverText, int displayVersion) noexcept;

// The version as it goes into a package's file name and address: trailing white space (the line break of a
// version file) dropped, then only letters, digits, ".", "-" and "_", and no "..". Empty when the text does
// not qualify, so that no server text can name a file outside the update folder or change the address.
[[nodiscard]] std::wstring PackageVersion(const std::wstring& text);
