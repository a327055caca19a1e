#pragma once

// Opening a file or folder without following a link in its place, and checking through the open handle that
// it is what its path says: a plain file or folder, no reparse point, and the system's final path for the
// handle is the path asked for. The final path is what catches a link on the way (a junction in a parent) and
// one that wine follows even when asked not to (it opens a host symbolic link's target).

#include "win/Handle.h"

#include <windows.h>

#include <string>
#include <string_view>

enum class ObjectKind { kFile, kFolder };

// Opens path with FILE_FLAG_OPEN_REPARSE_POINT (and FILE_FLAG_BACKUP_SEMANTICS, which folders need).
[[nodiscard]] UniqueFileHandle OpenWithoutFollowing(const std::wstring& path, DWORD access, DWORD share,
                                                    DWORD disposition = OPEN_EXISTING);

// The canonical full form of path (GetFullPathNameW) without trailing backslashes; "" if it has none.
[[nodiscard]] std::wstring FullPathOf(const std::wstring& path);

// The system's final path of an open object, as "C:\..." or "\\server\share\..."; "" if it cannot tell.
[[nodiscard]] std::wstring FinalPathOf(HANDLE object);

// Whether two full paths name the same place: ordinal comparison ignoring letter case and trailing
// backslashes.
[[nodiscard]] bool SamePlace(std::wstring_view a, std::wstring_view b) noexcept;

// "" when object is a plain file or folder, as kind says, at exactly path; otherwise what it is instead.
[[nodiscard]] std::wstring OpenedObjectFault(HANDLE object, const std::wstring& path, ObjectKind kind);
