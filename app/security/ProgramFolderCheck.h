#pragma once

// Whether the program's own files are safe to start with the highest privileges at every logon: nobody but
// an administrator can change the program folder or anything in it (the program, its libraries, the sensor
// servers and their settings, the skin), or put another folder in its place by renaming or deleting one of
// the folders above it. A portable copy unpacked into a user's folder, or a folder made below "C:\" where
// every signed-in user may change things, fails this.

#include "security/AccessRules.h"

#include <string>

// At most this many files and folders are examined below the program folder; a folder holding more counts
// as unprotected rather than half-checked.
inline constexpr int kProgramFolderEntryLimit = 4096;

// programFolder: with or without a trailing backslash. "" when it is protected; otherwise the first place
// found that is not and why, e.g. "C:\Tools\Calidra\Tessel.dll can be changed by Users".
[[nodiscard]] std::wstring UnprotectedProgramPart(
    const std::wstring& programFolder, const Administrators& admins = Administrators::OfThisSystem(),
    int entryLimit = kProgramFolderEntryLimit);
