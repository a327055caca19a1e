#pragma once

// From the bytes an archive stores as an entry's name to the relative name the extractor may write under, or
// the reason it never writes the entry.

#include <cstdint>
#include <string>
#include <string_view>

// Converts and cleans a stored name.
//
// 1. Decoding: UTF-8 when the entry's UTF-8 flag is set, else the system ANSI code page. Bytes that are not
//    valid in that encoding make the name unsafe rather than garbled. More than 259 UTF-16 code units: too
//    long (the first 259 are kept for the record).
// 2. A name with a control character anywhere (C0, DEL, C1), or one that starts with two separators (UNC
//    "\\server\share", "\\?\", "\\.\"), is unsafe.
// 3. The historical clean-up, repeated until no rule applies: drop a drive prefix "X:"; drop one leading "\"
// or
//    "/"; keep only what follows the first "\..\", "\../", "/../" or "/..\"; and, ours, drop a leading ".."
//    component ("../x" is held inside as "x", as "..\..\x" already is by the historical rules).
// 4. Each remaining component (between "\" or "/") must be an ordinary Windows name: no ".." (one can only be
//    left at the end), none of < > : " | ? * (a colon would reach an alternate data
//    stream), no device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9 and the superscript forms, CONIN$, CONOUT$,
//    with or without an extension), no trailing dot or space. "." components and empty ones are left for
//    the path normalisation that follows.
//
// Returns kZipEntryDone, kZipEntryUnsafeName or kZipEntryNameTooLong; *name receives the cleaned name (or
// what could be decoded, for the record). An empty cleaned name means the target folder itself.
[[nodiscard]] uint32_t ConvertEntryName(std::string_view stored, bool utf8, std::wstring* name);
