#pragma once

// One zip archive entry as the extractor sees it: its record (filled when the entry is described), the codes
// that say what happened to it, and the conversions from the zip format's attribute and time fields.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// What happened to one entry. The first six are the extractor's historical codes; the others say why an entry
// was never written because its name or its place on disk is unsafe.
inline constexpr uint32_t kZipEntryDone = 0;
inline constexpr uint32_t kZipEntryNotCreated = 0x200;  // target or one of its folders could not be created
inline constexpr uint32_t kZipEntryWriteFailed = 0x400;
inline constexpr uint32_t kZipEntryNeedsPassword = 0x1000;
// Also: CRC or size mismatch, unknown method.
inline constexpr uint32_t kZipEntryDecompressFailed = 0x5000000;
inline constexpr uint32_t kZipEntryIndexOutOfRange = 0x10000;
// Not valid UTF-16 after conversion, a control or reserved character, a colon (alternate data stream), a
// device name, a component ending in a dot or space, a UNC or device path, a ".." that cannot be held inside,
// or a path that leaves the target folder.
inline constexpr uint32_t kZipEntryUnsafeName = 0x20000;
// The converted name does not fit the record's 260 code units, or the full target path exceeds MAX_PATH.
inline constexpr uint32_t kZipEntryNameTooLong = 0x40000;
// The target, or a folder on the way to it below the target folder, is an existing reparse point (symbolic
// link, junction); it is never followed.
inline constexpr uint32_t kZipEntryReparsePoint = 0x80000;

// The record's name buffer, terminator included.
inline constexpr size_t kZipNameCapacity = 260;

// Zip general purpose flag bits.
inline constexpr unsigned kZipFlagEncrypted = 0x0001;
inline constexpr unsigned kZipFlagUtf8Name = 0x0800;

// Compression methods the extractor inflates.
inline constexpr int kZipMethodStored = 0;
inline constexpr int kZipMethodDeflated = 8;

struct ZipEntry {
    int index = -1;     // after describing entry -1: the number of entries
    std::wstring name;  // converted and cleaned; at most kZipNameCapacity - 1 code units
    DWORD attributes = 0;
    FILETIME accessTime{};  // UTC; zero when the entry carries no valid time
    FILETIME creationTime{};
    FILETIME modificationTime{};
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;

    // Beyond the historical record, what unpacking needs.
    uint32_t nameResult = kZipEntryDone;  // non-zero: why the entry is never written under its name
    uint64_t fullUncompressedSize = 0;    // the 64-bit size the written file must reach
    unsigned flags = 0;                   // general purpose flags
    int method = 0;

    [[nodiscard]] bool IsDirectory() const noexcept { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// Windows attributes from the external attributes and the host system (the high byte of "version made by").
// MS-DOS, Macintosh, NTFS and VFAT hosts keep DOS bits in the low byte; every other host (Unix above all)
// keeps a mode in the high word: directory bit 30, owner-write bit 23 (clear means read-only), always
// archive.
[[nodiscard]] DWORD ZipAttributes(unsigned versionMadeBy, uint32_t externalAttributes) noexcept;

// The entry's DOS date and time (date in the high word), read as local time and converted to UTC. A field out
// of range (month 0, day 0, and the like) gives a zero FILETIME, meaning "no time".
[[nodiscard]] FILETIME DosTimeToFileTime(uint32_t dosDateTime) noexcept;

// Replaces the entry's times with those of the first extended-timestamp ("UT") record in a local-header extra
// field: modification, access, creation, each present when its flag bit (0, 1, 2) is set, each an unsigned
// 32-bit little-endian Unix time. A time that the record's declared size does not cover is not read.
void ApplyExtendedTimestamp(const unsigned char* extra, size_t size, ZipEntry& entry) noexcept;
