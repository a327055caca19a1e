#include "update/ZipTarget.h"

#include "update/ZipEntry.h"
#include "update/ZipTargetPath.h"

#include "security/OpenedPath.h"

#include <atomic>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr int kPendingNameAttempts = 16;
// The attributes a written file may carry.
constexpr DWORD kFileAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Where the first level below the root starts: after "C:\" or after "\\server\share\".
size_t FirstLevel(const std::wstring& path) noexcept {
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        size_t at = path.find(L'\\', 2);
        at = at == std::wstring::npos ? at : path.find(L'\\', at + 1);
        return at == std::wstring::npos ? path.size() : at + 1;
    }
    return path.size() >= 3 ? 3 : path.size();
}

// One level of the way to a target: made if missing, refused if it is a reparse point or not a folder.
uint32_t FolderLevel(const std::wstring& level) {
    const DWORD attributes = ::GetFileAttributesW(level.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return ::CreateDirectoryW(level.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS
                   ? kZipEntryDone
                   : kZipEntryNotCreated;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return kZipEntryReparsePoint;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kZipEntryDone : kZipEntryNotCreated;
}

std::wstring PendingName() {
    static std::atomic<unsigned> serial{::GetTickCount() ^ (::GetCurrentProcessId() << 16)};
    const unsigned value = serial.fetch_add(1);
    std::wstring name(kPendingPrefix);
    for (int digit = kPendingDigits - 1; digit >= 0; --digit) {
        name += L"0123456789ABCDEF"[(value >> (4 * digit)) & 0xF];
    }
    return name.append(kPendingSuffix);
}

uint64_t Ticks(const FILETIME& time) noexcept {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::wstring FullFolderPath(const std::wstring& folder) {
    std::wstring full = FullPathOf(folder);
    if (!full.empty() && full.back() != L'\\') {
        full += L'\\';
    }
    return full;
}

bool EnsureFolder(const std::wstring& folder) {
    for (size_t at = folder.find(L'\\', FirstLevel(folder)); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1)) {
        const std::wstring level = folder.substr(0, at);
        if (::GetFileAttributesW(level.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ::CreateDirectoryW(level.c_str(), nullptr);
        }
    }
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t ResolveTarget(const std::wstring& base, const std::wstring& name, bool folder,
                       std::wstring* target) {
    return PlaceInside(base, FullPathOf(base + name), folder, target);
}

uint32_t CreateFolderLevels(const std::wstring& base, const std::wstring& target, bool folder) {
    for (size_t at = target.find(L'\\', base.size()); at != std::wstring::npos;
         at = target.find(L'\\', at + 1)) {
        if (const uint32_t result = FolderLevel(target.substr(0, at))) {
            return result;
        }
    }
    return folder && target.size() >= base.size() ? FolderLevel(target) : kZipEntryDone;
}

uint32_t CheckReplaceable(const std::wstring& target) {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return kZipEntryDone;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return kZipEntryReparsePoint;
    }
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ? kZipEntryNotCreated
                                                                               : kZipEntryDone;
}

bool PendingFile::Create(const std::wstring& target, DWORD attributes) {
    Discard();
    attributes_ = attributes & kFileAttributes;
    const std::wstring folder = target.substr(0, target.rfind(L'\\') + 1);
    for (int attempt = 0; attempt < kPendingNameAttempts; ++attempt) {
        std::wstring path = folder + PendingName();
        // DELETE: the handle itself renames the file into place, or deletes it.
        file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_) {
            target_ = target;
            return true;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool PendingFile::Write(const void* data, DWORD size) noexcept {
    DWORD written = 0;
    return ::WriteFile(file_.get(), data, size, &written, nullptr) && written == size;
}

bool PendingFile::Commit(const FILETIME& creation, const FILETIME& access, const FILETIME& modification) {
    // Renamed through its own handle: whatever is at the target (a file, a link) is replaced, never opened.
    const size_t nameBytes = target_.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, target_.c_str(), nameBytes + sizeof(wchar_t));
    if (!::SetFileInformationByHandle(file_.get(), FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size()))) {
        Discard();
        return false;
    }
    // Times and attributes in one call; a zero time leaves that time as it is.
    FILE_BASIC_INFO basic{};
    basic.CreationTime.QuadPart = static_cast<LONGLONG>(Ticks(creation));
    basic.LastAccessTime.QuadPart = static_cast<LONGLONG>(Ticks(access));
    basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(Ticks(modification));
    basic.FileAttributes = attributes_ ? attributes_ : FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file_.get(), FileBasicInfo, &basic, sizeof(basic));
    file_.reset();
    return true;
}

void PendingFile::Discard() noexcept {
    if (file_) {
        FILE_DISPOSITION_INFO remove{TRUE};
        ::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &remove, sizeof(remove));
        file_.reset();
    }
}
