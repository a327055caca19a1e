#pragma once

// The per-user folder where the program keeps what it writes: its log and, under "temp\", downloaded update
// packages and their unpacked contents. It lies below the user's local application data, a place that
// unprivileged processes of the same user can write too, so nothing found there is trusted.

#include <string>

// The local application-data folder followed by "\Kelvaro-DIG Files\" (ends in a backslash), for example
// "C:\Users\u\AppData\Local\Kelvaro-DIG Files\". Empty when the system cannot name the local application-data
// folder: the caller then has no folder and writes nothing (a bare "\Kelvaro-DIG Files\" would land at the
// root of whatever drive is current).
[[nodiscard]] std::wstring GetUserDataFolder();

// Creates the folder path and every missing parent; the part before the first backslash (the drive) is never
// created. True when the path is a folder afterwards, also if it existed already; false when it could not be
// created or a file of that name stands in its way.
[[nodiscard]] bool CreateFolderTree(const std::wstring& path);
