#pragma once

// Where an entry lands on disk: its canonical path below the target folder, the folders on the way (never
// through a reparse point), and the file itself, written under a temporary name and renamed into place only
// once it is complete and correct.

#include "win/Handle.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The canonical full form of folder (GetFullPathNameW) with a trailing backslash; empty if it has none.
[[nodiscard]] std::wstring FullFolderPath(const std::wstring& folder);

// Creates the missing levels of a canonical folder path, outermost first. True if it exists afterwards.
[[nodiscard]] bool EnsureFolder(const std::wstring& folder);

// Joins base (canonical, ending in a backslash) and a cleaned entry name, canonicalises the result and checks
// it with PlaceInside (ZipTargetPath.h): strictly inside base (or base itself for a folder entry), short
// enough for MAX_PATH. *target receives the path without a trailing backslash.
[[nodiscard]] uint32_t ResolveTarget(const std::wstring& base, const std::wstring& name, bool folder,
                                     std::wstring* target);

// Creates the folders between base and target, one level at a time and each only if missing: target's parent
// levels, and target itself when it is a folder. A level that exists as a reparse point gives
// kZipEntryReparsePoint; one that exists as a file, or cannot be created, kZipEntryNotCreated.
[[nodiscard]] uint32_t CreateFolderLevels(const std::wstring& base, const std::wstring& target, bool folder);

// Whether a file may be put at target: missing, or an ordinary file that is not read-only. A reparse point
// gives kZipEntryReparsePoint; a folder or a read-only file kZipEntryNotCreated.
[[nodiscard]] uint32_t CheckReplaceable(const std::wstring& target);

// A file being written for target, under a temporary name in the same folder, through one handle that also
// renames it into place or deletes it. Destroying it before Commit deletes it, so a failed entry leaves
// nothing that could be taken for the real file.
class PendingFile {
  public:
    PendingFile() = default;
    ~PendingFile() { Discard(); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates a new file beside target; attributes (read-only, hidden, system, archive) are applied by
    // Commit.
    [[nodiscard]] bool Create(const std::wstring& target, DWORD attributes);
    [[nodiscard]] bool Write(const void* data, DWORD size) noexcept;
    // Renames the file to the target, replacing a file there (never following a link in its place), then sets
    // the times that are not zero and the attributes, and closes it. False, with the file deleted, if the
    // rename fails.
    [[nodiscard]] bool Commit(const FILETIME& creation, const FILETIME& access, const FILETIME& modification);
    void Discard() noexcept;

  private:
    UniqueFileHandle file_;
    std::wstring target_;
    DWORD attributes_ = 0;
};
