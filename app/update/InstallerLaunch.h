#pragma once

// Starting a downloaded installer: the program file named exactly, with no shell in between (no file
// association, no verb, no per-user class registration is consulted), its folder as the current folder, and
// its TEMP and TMP pointing into that folder, where only administrators can write: an installer that unpacks
// helpers into its temporary folder must not load them from one the user's processes can change.

#include <windows.h>

#include <string>

// installer: the full path of the program, which lies directly in folder (ending in a backslash). No
// arguments; the command line is the quoted path. False with the system's error code when it did not start.
[[nodiscard]] bool StartInstaller(const std::wstring& installer, const std::wstring& folder, DWORD* error);
