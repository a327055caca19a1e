#pragma once

// Unpacks a whole zip archive into a folder: what the update download does with a package (on the worker).

#include "update/ZipEntry.h"

#include <cstdint>
#include <string>
#include <vector>

struct ZipEntryOutcome {
    int index = 0;
    std::wstring name;                // converted and cleaned, as far as it could be
    uint32_t result = kZipEntryDone;  // one of the kZipEntry codes
};

// Unpacks every entry of archive below target (created if missing; a trailing separator is optional), in
// central-directory order. An entry that fails or is refused does not stop the ones after it: no entry is
// ever written outside target, through a reparse point, under an unsafe name, or half-written under its name.
// outcomes, when given, receives one line per entry.
//
// False only when the archive cannot be opened or is not a zip archive; true whatever happened to entries.
[[nodiscard]] bool ExtractZip(const std::wstring& archive, const std::wstring& target,
                              std::vector<ZipEntryOutcome>* outcomes = nullptr);
// The same for the open archive file (with read access) that the caller holds: what is unpacked are the
// bytes of that file, whatever its path names by now.
[[nodiscard]] bool ExtractZip(HANDLE archive, const std::wstring& target,
                              std::vector<ZipEntryOutcome>* outcomes = nullptr);
