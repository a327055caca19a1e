#include "update/ZipArchive.h"

#include "update/ZipEntryName.h"
#include "update/ZipFileIo.h"
#include "update/ZipTarget.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

uint32_t Clamp32(uint64_t value) noexcept {
    return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
}

bool EndsWithSeparator(const std::string& name) noexcept {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

std::wstring WithSeparator(std::wstring folder) {
    if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) {
        folder += L'\\';
    }
    return folder;
}

// The entry minizip has open for reading; closed on every way out, with its CRC verdict when asked.
class OpenEntry {
  public:
    explicit OpenEntry(unzFile reader) noexcept : reader_(reader) {}
    ~OpenEntry() { Close(); }
    OpenEntry(const OpenEntry&) = delete;
    OpenEntry& operator=(const OpenEntry&) = delete;

    // UNZ_CRCERROR when all data was read and does not match the entry's CRC.
    int Close() noexcept { return reader_ ? unzCloseCurrentFile(std::exchange(reader_, nullptr)) : UNZ_OK; }

  private:
    unzFile reader_;
};

}  // namespace

void handle_traits::ZipReader::close(pointer reader) noexcept {
    unzClose(reader);
}

bool ZipArchive::Open(const std::wstring& path) {
    return OpenWith(path.c_str(), nullptr);
}

bool ZipArchive::Open(HANDLE file) {
    return file && file != INVALID_HANDLE_VALUE && OpenWith(L"", file);
}

bool ZipArchive::OpenWith(const wchar_t* path, HANDLE file) {
    Close();
    zlib_filefunc64_def io{};
    FillBufferedFileIo(&io, file);
    reader_.reset(unzOpen2_64(path, &io));
    unz_global_info64 info{};
    if (!reader_ || unzGetGlobalInfo64(reader_.get(), &info) != UNZ_OK) {
        reader_.reset();
        return false;
    }
    count_ = static_cast<int>(std::min<ZPOS64_T>(info.number_entry, INT_MAX));
    current_ = -1;
    const DWORD length = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring current(length, L'\0');
    current.resize(::GetCurrentDirectoryW(length, current.data()));
    SetBaseFolder(current);
    return true;
}

void ZipArchive::SetBaseFolder(const std::wstring& folder) {
    base_ = WithSeparator(folder);
    fullBase_ = FullFolderPath(base_);
    baseReady_ = false;
}

void ZipArchive::Close() noexcept {
    reader_.reset();
    count_ = 0;
    current_ = -1;
    described_ = -1;
}

bool ZipArchive::GoTo(int index) {
    if (current_ < 0 || index < current_) {
        if (unzGoToFirstFile(reader_.get()) != UNZ_OK) {
            current_ = -1;
            count_ = 0;
            return false;
        }
        current_ = 0;
    }
    while (current_ < index) {
        if (unzGoToNextFile(reader_.get()) != UNZ_OK) {
            // The directory ends (or breaks) early: no later index exists either.
            count_ = current_ + 1;
            current_ = -1;
            return false;
        }
        ++current_;
    }
    return true;
}

uint32_t ZipArchive::Describe(int index, ZipEntry* entry) {
    if (index == -1) {
        *entry = ZipEntry{};
        entry->index = count_;
        return lastResult_ = kZipEntryDone;
    }
    if (!reader_ || index < 0 || index >= count_) {
        return lastResult_ = kZipEntryIndexOutOfRange;
    }
    // The cached record is valid only while minizip still stands on its entry.
    if (index != described_) {
        described_ = -1;
        if (!GoTo(index)) {
            return lastResult_ = kZipEntryIndexOutOfRange;
        }
        if (const uint32_t result = DescribeCurrent(index, &record_)) {
            return lastResult_ = result;
        }
        described_ = index;
    }
    *entry = record_;
    return lastResult_ = kZipEntryDone;
}

uint32_t ZipArchive::DescribeCurrent(int index, ZipEntry* entry) {
    unzFile reader = reader_.get();
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(reader, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return kZipEntryIndexOutOfRange;
    }
    std::string stored(info.size_filename, '\0');
    if (!stored.empty() && unzGetCurrentFileInfo64(reader, nullptr, stored.data(), info.size_filename,
                                                   nullptr, 0, nullptr, 0) != UNZ_OK) {
        return kZipEntryIndexOutOfRange;
    }
    *entry = ZipEntry{};
    entry->index = index;
    entry->flags = info.flag;
    entry->method = static_cast<int>(info.compression_method);
    entry->nameResult = ConvertEntryName(stored, (info.flag & kZipFlagUtf8Name) != 0, &entry->name);
    entry->attributes = ZipAttributes(info.version, info.external_fa);
    if (EndsWithSeparator(stored)) {
        entry->attributes |= FILE_ATTRIBUTE_DIRECTORY;  // a file cannot have an empty name
    }
    const FILETIME time = DosTimeToFileTime(info.dosDate);
    entry->accessTime = entry->creationTime = entry->modificationTime = time;
    entry->compressedSize = Clamp32(info.compressed_size);
    entry->uncompressedSize = Clamp32(info.uncompressed_size);
    entry->fullUncompressedSize = info.uncompressed_size;

    // The local header's extra field is only reachable through an opened entry; raw, so nothing is inflated.
    int method = 0;
    if (unzOpenCurrentFile2(reader, &method, nullptr, 1) == UNZ_OK) {
        OpenEntry opened(reader);
        const int size = unzGetLocalExtrafield(reader, nullptr, 0);
        if (size > 0) {
            std::vector<unsigned char> extra(static_cast<size_t>(size));
            const int got = unzGetLocalExtrafield(reader, extra.data(), static_cast<unsigned>(size));
            if (got > 0) {
                ApplyExtendedTimestamp(extra.data(), static_cast<size_t>(got), *entry);
            }
        }
    }
    return kZipEntryDone;
}

uint32_t ZipArchive::Unpack(int index) {
    ZipEntry entry;
    if (const uint32_t result = Describe(index, &entry)) {
        return result;
    }
    if (entry.nameResult != kZipEntryDone) {
        return lastResult_ = entry.nameResult;
    }
    // The base folder is made (outermost level first) for the first entry; later ones find it.
    baseReady_ = baseReady_ || (!fullBase_.empty() && EnsureFolder(fullBase_));
    if (!baseReady_) {
        return lastResult_ = kZipEntryNotCreated;
    }
    return lastResult_ = entry.IsDirectory() ? UnpackFolder(entry) : UnpackFile(entry);
}

uint32_t ZipArchive::UnpackFolder(const ZipEntry& entry) {
    std::wstring target;
    if (const uint32_t result = ResolveTarget(fullBase_, entry.name, true, &target)) {
        return result;
    }
    return CreateFolderLevels(fullBase_, target, true);
}

uint32_t ZipArchive::UnpackFile(const ZipEntry& entry) {
    if (entry.flags & kZipFlagEncrypted) {
        return kZipEntryNeedsPassword;
    }
    // minizip would hand out other methods' data raw, without a CRC check.
    if (entry.method != kZipMethodStored && entry.method != kZipMethodDeflated) {
        return kZipEntryDecompressFailed;
    }
    std::wstring target;
    if (const uint32_t result = ResolveTarget(fullBase_, entry.name, false, &target)) {
        return result;
    }
    if (const uint32_t result = CreateFolderLevels(fullBase_, target, false)) {
        return result;
    }
    if (const uint32_t result = CheckReplaceable(target)) {
        return result;
    }
    return Inflate(entry, target);
}

uint32_t ZipArchive::Inflate(const ZipEntry& entry, const std::wstring& target) {
    unzFile reader = reader_.get();
    if (unzOpenCurrentFile(reader) != UNZ_OK) {
        return kZipEntryDecompressFailed;
    }
    OpenEntry opened(reader);
    PendingFile file;
    if (!file.Create(target, entry.attributes)) {
        return kZipEntryNotCreated;
    }
    if (!buffer_) {
        buffer_ = std::make_unique_for_overwrite<unsigned char[]>(kOutputBufferSize);
    }
    uint64_t total = 0;
    for (;;) {
        const int got = unzReadCurrentFile(reader, buffer_.get(), kOutputBufferSize);
        if (got < 0) {
            return kZipEntryDecompressFailed;
        }
        if (got == 0) {
            break;
        }
        if (!file.Write(buffer_.get(), static_cast<DWORD>(got))) {
            return kZipEntryWriteFailed;
        }
        total += static_cast<unsigned>(got);
    }
    // minizip checks the CRC only when the declared size was reached, so a stream that ends early passes it.
    if (opened.Close() != UNZ_OK || total != entry.fullUncompressedSize) {
        return kZipEntryDecompressFailed;
    }
    return file.Commit(entry.creationTime, entry.accessTime, entry.modificationTime) ? kZipEntryDone
                                                                                     : kZipEntryNotCreated;
}
