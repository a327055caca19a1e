#pragma once

// An open zip archive and the inner operations of extraction, in calling order: Open, SetBaseFolder,
// Describe(-1) for the number of entries, then Describe(i) and Unpack(i) for each entry, Close. The reading
// of the container and the decompression are minizip's and zlib's; everything that touches the disk goes
// through the Win32 file API with wide paths.

#include "win/Handle.h"
#include "update/ZipEntry.h"

#include <cstdint>
#include <memory>
#include <string>

namespace handle_traits {
// minizip's unzFile, closed with unzClose (which also ends an entry left open).
struct ZipReader {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer reader) noexcept;
};
}  // namespace handle_traits

class ZipArchive {
  public:
    // Entry data passes through one buffer of this size, allocated on the first file and reused for all.
    static constexpr unsigned kOutputBufferSize = 16 * 1024;

    ZipArchive() = default;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opens the archive for reading (sharing read access) and reads its central directory. False if the file
    // is missing, unreadable or not a zip archive. The base folder starts as the current folder.
    [[nodiscard]] bool Open(const std::wstring& path);
    // The same for the open file (with read access) that the caller holds: its bytes, whatever its path
    // names by now.
    [[nodiscard]] bool Open(HANDLE file);

    // Where entries go; a backslash is appended if the folder ends in neither "\" nor "/". Created, outermost
    // level first, when the first entry is unpacked.
    void SetBaseFolder(const std::wstring& folder);
    [[nodiscard]] const std::wstring& BaseFolder() const noexcept { return base_; }

    // index -1: entry->index receives the number of entries. Otherwise fills the entry's record: its name
    // converted and cleaned (entry->nameResult says whether it may be written), attributes by host system,
    // the DOS time through local time with the local header's "UT" times over it, sizes. kZipEntryDone, or
    // kZipEntryIndexOutOfRange for an index the archive does not have.
    uint32_t Describe(int index, ZipEntry* entry);

    // Unpacks entry index under its cleaned name below the base folder: a folder entry creates its folders, a
    // file entry its folders and the file, with the entry's attributes and times. The file appears only once
    // its data is complete, of the declared size and matches its CRC; otherwise nothing new is left in its
    // place and an existing file there stays as it was. Returns one of the entry codes.
    uint32_t Unpack(int index);

    void Close() noexcept;

    // The result of the last Describe or Unpack.
    [[nodiscard]] uint32_t LastResult() const noexcept { return lastResult_; }

  private:
    [[nodiscard]] bool OpenWith(const wchar_t* path, HANDLE file);
    [[nodiscard]] bool GoTo(int index);
    [[nodiscard]] uint32_t DescribeCurrent(int index, ZipEntry* entry);
    [[nodiscard]] uint32_t UnpackFolder(const ZipEntry& entry);
    [[nodiscard]] uint32_t UnpackFile(const ZipEntry& entry);
    [[nodiscard]] uint32_t Inflate(const ZipEntry& entry, const std::wstring& target);

    UniqueResource<handle_traits::ZipReader> reader_;
    std::wstring base_;       // as set, ending in a separator
    std::wstring fullBase_;   // its canonical form, ending in a backslash; empty if it has none
    bool baseReady_ = false;  // the base folder was found or made
    int count_ = 0;           // entries the central directory holds, as far as they could be read
    int current_ = -1;        // minizip's current entry, -1 when it has none
    int described_ = -1;
    ZipEntry record_;
    std::unique_ptr<unsigned char[]> buffer_;
    uint32_t lastResult_ = kZipEntryDone;
};
