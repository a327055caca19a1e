#include "update/ZipFileIo.h"

#include "win/Handle.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr DWORD kReadAhead = 64 * 1024;

struct ArchiveFile {
    UniqueFileHandle file;
    uint64_t size = 0;
    uint64_t position = 0;
    uint64_t bufferStart = 0;
    DWORD bufferLength = 0;
    bool failed = false;
    std::unique_ptr<unsigned char[]> buffer;
};

// Reads at an explicit offset; false on an error other than the end of the file.
bool ReadAt(ArchiveFile& archive, uint64_t offset, void* into, DWORD size, DWORD* got) noexcept {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    if (!::ReadFile(archive.file.get(), into, size, got, &at)) {
        *got = 0;
        return ::GetLastError() == ERROR_HANDLE_EOF;
    }
    return true;
}

voidpf ZCALLBACK Open(voidpf source, const void* path, int mode) {
    if ((!source && !path) || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
        return nullptr;
    }
    auto archive = std::make_unique<ArchiveFile>();
    if (source) {
        // The bytes of the file the caller holds, not of whatever its path names by now.
        HANDLE duplicate = INVALID_HANDLE_VALUE;
        if (::DuplicateHandle(::GetCurrentProcess(), source, ::GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS)) {
            archive->file.reset(duplicate);
        }
    } else {
        archive->file.reset(::CreateFileW(static_cast<const wchar_t*>(path), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    LARGE_INTEGER size{};
    if (!archive->file || !::GetFileSizeEx(archive->file.get(), &size)) {
        return nullptr;
    }
    archive->size = static_cast<uint64_t>(size.QuadPart);
    archive->buffer = std::make_unique_for_overwrite<unsigned char[]>(kReadAhead);
    return archive.release();
}

uLong ZCALLBACK Read(voidpf, voidpf stream, void* into, uLong size) {
    ArchiveFile& archive = *static_cast<ArchiveFile*>(stream);
    auto* out = static_cast<unsigned char*>(into);
    uLong done = 0;
    while (done < size) {
        const uint64_t bufferEnd = archive.bufferStart + archive.bufferLength;
        if (archive.position >= archive.bufferStart && archive.position < bufferEnd) {
            const uLong take =
                static_cast<uLong>(std::min<uint64_t>(size - done, bufferEnd - archive.position));
            std::memcpy(out + done, archive.buffer.get() + (archive.position - archive.bufferStart), take);
            archive.position += take;
            done += take;
            continue;
        }
        DWORD got = 0;
        // A read as large as the buffer goes straight to the caller.
        const bool direct = size - done >= kReadAhead;
        if (!ReadAt(archive, archive.position, direct ? out + done : archive.buffer.get(),
                    direct ? size - done : kReadAhead, &got)) {
            archive.failed = true;
            break;
        }
        if (got == 0) {
            break;
        }
        if (direct) {
            archive.position += got;
            done += got;
        } else {
            archive.bufferStart = archive.position;
            archive.bufferLength = got;
        }
    }
    return done;
}

uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK Tell(voidpf, voidpf stream) {
    return static_cast<ArchiveFile*>(stream)->position;
}

long ZCALLBACK Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    ArchiveFile& archive = *static_cast<ArchiveFile*>(stream);
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            archive.position = offset;
            return 0;
        case ZLIB_FILEFUNC_SEEK_CUR:
            archive.position += offset;
            return 0;
        case ZLIB_FILEFUNC_SEEK_END:
            archive.position = archive.size + offset;
            return 0;
        default:
            return -1;
    }
}

int ZCALLBACK Close(voidpf, voidpf stream) {
    delete static_cast<ArchiveFile*>(stream);
    return 0;
}

int ZCALLBACK Error(voidpf, voidpf stream) {
    return static_cast<ArchiveFile*>(stream)->failed ? 1 : 0;
}

}  // namespace

void FillBufferedFileIo(zlib_filefunc64_def* io, HANDLE archive) noexcept {
    *io = zlib_filefunc64_def{Open, Read, Write, Tell, Seek, Close, Error, archive};
}
