#pragma once

// Whether the canonical path an entry would land on is a place the extractor may write: strictly inside the
// target folder, and short enough for the file and the temporary file it is first written as. Decided on the
// text alone, after the path has been made canonical (ZipTarget.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The temporary name a file is written under beside its target: "~zx" + eight hexadecimal digits + ".tmp".
inline constexpr std::wstring_view kPendingPrefix = L"~zx";
inline constexpr std::wstring_view kPendingSuffix = L".tmp";
inline constexpr int kPendingDigits = 8;
inline constexpr size_t kPendingNameLength = kPendingPrefix.size() + kPendingDigits + kPendingSuffix.size();

// base: canonical, ending in a backslash. full: the canonical form of base + the entry's cleaned name. Inside
// means below base, compared component-wise without regard to letter case (a folder entry may also name base
// itself). *target receives full without trailing backslashes. kZipEntryUnsafeName if it leaves base,
// kZipEntryNameTooLong if it (or the temporary file beside it) would not fit MAX_PATH.
[[nodiscard]] uint32_t PlaceInside(const std::wstring& base, std::wstring full, bool folder,
                                   std::wstring* target);
