// Declares rand_s; before the first include that may bring <stdlib.h>.
#define _CRT_RAND_S

#include "security/AdminFolder.h"

#include "security/OpenedPath.h"

#include <stdlib.h>

#include <utility>

namespace {

constexpr int kFreshNameAttempts = 16;
constexpr wchar_t kMovedAsideInfix[] = L".untrusted-";
// What the object holds: enough to read the folder's rules and entries, and shared for reading and writing
// only, so that nobody can rename, replace or remove it meanwhile. It asks no delete right itself: another
// holder (a second session's program, a running installer's current folder) must still be able to open it.
constexpr DWORD kHeldAccess =
    READ_CONTROL | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kHeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The system's cryptographic generator through the C runtime: BCryptGenRandom would load bcrypt.dll, and with
// it (under wine) the TLS libraries, into the program that runs all day.
std::wstring RandomHex8() {
    unsigned value = 0;
    if (::rand_s(&value) != 0) {
        value = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    }
    std::wstring text;
    for (int digit = 7; digit >= 0; --digit) {
        text += L"0123456789ABCDEF"[(value >> (4 * digit)) & 0xF];
    }
    return text;
}

std::wstring Error(const wchar_t* what, DWORD error) {
    return std::wstring(what) + L" (error " + std::to_wstring(error) + L")";
}

// A name that stays inside the folder it is joined to.
bool IsPlainFileName(std::wstring_view name) noexcept {
    if (name.empty() || name == L"." || name == L".." || name.size() >= MAX_PATH) {
        return false;
    }
    for (wchar_t c : name) {
        if (c < L' ' || c == L'\\' || c == L'/' || c == L':' || c == L'*' || c == L'?' || c == L'"' ||
            c == L'<' || c == L'>' || c == L'|') {
            return false;
        }
    }
    return true;
}

bool DeleteWhenClosed(HANDLE object) noexcept {
    FILE_DISPOSITION_INFO remove{TRUE};
    return ::SetFileInformationByHandle(object, FileDispositionInfo, &remove, sizeof(remove)) != FALSE;
}

// Opens the folder at path (no trailing backslash) for removal, held exclusively, if it is a plain folder at
// exactly that place; invalid otherwise, or while anyone else holds it.
UniqueFileHandle OpenForRemoval(const std::wstring& path) {
    UniqueFileHandle folder = OpenWithoutFollowing(path, kHeldAccess | DELETE, 0);
    if (folder && !OpenedObjectFault(folder.get(), path, ObjectKind::kFolder).empty()) {
        folder.reset();
    }
    return folder;
}

// Deletes everything in the folder open as `folder` (listed through that handle, since nobody else may open
// it) at path (ending in a backslash). Only administrators can change what is in it; still, a link is
// removed itself, never followed.
void RemoveContents(HANDLE folder, const std::wstring& path) {
    alignas(FILE_ID_BOTH_DIR_INFO) unsigned char buffer[16 * 1024];
    FILE_INFO_BY_HANDLE_CLASS listing = FileIdBothDirectoryRestartInfo;
    while (::GetFileInformationByHandleEx(folder, listing, buffer, sizeof(buffer))) {
        listing = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            const std::wstring child = path + name;
            const DWORD attributes = entry->FileAttributes;
            if (name == L"." || name == L"..") {
                // Not entries of their own.
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                if (const UniqueFileHandle inner = OpenForRemoval(child)) {
                    RemoveContents(inner.get(), child + L"\\");
                    DeleteWhenClosed(inner.get());
                }
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(child.c_str());
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            offset += entry->NextEntryOffset;
        }
    }
}

// Removes the folder at path (no trailing backslash) with its contents if nobody holds it and it passes the
// checks. True when it is gone.
bool RemoveTree(const std::wstring& path, const Administrators& admins) {
    const UniqueFileHandle folder = OpenForRemoval(path);
    if (!folder || !ProtectionFault(ReadAccessRules(folder.get()).get(), admins).empty()) {
        return false;
    }
    RemoveContents(folder.get(), path + L"\\");
    return DeleteWhenClosed(folder.get());
}

}  // namespace

AdminFolder::AdminFolder(AdminFolder&& other) noexcept
    : handle_(std::move(other.handle_)),
      path_(std::move(other.path_)),
      removeOnClose_(std::exchange(other.removeOnClose_, false)) {}

AdminFolder& AdminFolder::operator=(AdminFolder&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::move(other.handle_);
        path_ = std::move(other.path_);
        removeOnClose_ = std::exchange(other.removeOnClose_, false);
    }
    return *this;
}

bool AdminFolder::Open(const std::wstring& path, const wchar_t* rules, std::wstring* why,
                       const Administrators& admins) {
    Close();
    const std::wstring full = FullPathOf(path);
    const UniqueLocalMemory descriptor = DescriptorFromRules(rules);
    if (full.empty() || !descriptor) {
        *why = L"no folder can be named " + path;
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};
    path_ = full + L"\\";
    const bool made = ::CreateDirectoryW(full.c_str(), &security) != FALSE;
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        *why = Error(L"the folder cannot be made", ::GetLastError());
        return false;
    }
    const Verdict verdict = Check(admins, why);
    if (verdict == Verdict::kChecked) {
        return true;
    }
    if (made) {
        ::RemoveDirectoryW(full.c_str());
        return false;
    }
    // A link, or what is not at its own place, is neither used nor touched: renaming it could move what it
    // leads to (wine follows a link it renames). Only an administrator can take it away.
    if (verdict == Verdict::kNotThere) {
        *why += L"; it stays as it is";
        return false;
    }
    // A folder someone else made in the place of ours: moved aside, and ours made in its place.
    const std::wstring aside = full + kMovedAsideInfix + RandomHex8();
    const std::wstring found = *why;
    if (!::MoveFileExW(full.c_str(), aside.c_str(), 0)) {
        *why = found + L"; " + Error(L"it cannot be moved aside", ::GetLastError());
        return false;
    }
    if (!::CreateDirectoryW(full.c_str(), &security)) {
        *why = found + L"; " + Error(L"after moving it aside no folder can be made", ::GetLastError());
        return false;
    }
    if (Check(admins, why) != Verdict::kChecked) {
        ::RemoveDirectoryW(full.c_str());
        return false;
    }
    *why = found + L"; moved aside to " + aside;
    return true;
}

bool AdminFolder::MakeFresh(const AdminFolder& parent, std::wstring_view prefix, const wchar_t* rules,
                            std::wstring* why, const Administrators& admins) {
    Close();
    const UniqueLocalMemory descriptor = DescriptorFromRules(rules);
    if (!parent.valid() || !descriptor) {
        *why = L"there is no checked folder to make it in";
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};
    for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
        const std::wstring full = parent.path_ + std::wstring(prefix) + RandomHex8();
        if (!::CreateDirectoryW(full.c_str(), &security)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) {
                continue;
            }
            *why = Error(L"the folder cannot be made", ::GetLastError());
            return false;
        }
        path_ = full + L"\\";
        if (Check(admins, why) != Verdict::kChecked) {
            ::RemoveDirectoryW(full.c_str());
            return false;
        }
        removeOnClose_ = true;
        return true;
    }
    *why = L"no unused name was found";
    return false;
}

AdminFolder::Verdict AdminFolder::Check(const Administrators& admins, std::wstring* why) {
    const std::wstring full = path_.substr(0, path_.size() - 1);
    handle_ = OpenWithoutFollowing(full, kHeldAccess, kHeldSharing);
    std::wstring fault = handle_ ? OpenedObjectFault(handle_.get(), full, ObjectKind::kFolder)
                                 : Error(L"it cannot be opened", ::GetLastError());
    Verdict verdict = Verdict::kNotThere;
    if (fault.empty()) {
        fault = ProtectionFault(ReadAccessRules(handle_.get()).get(), admins);
        verdict = fault.empty() ? Verdict::kChecked : Verdict::kNotProtected;
    }
    if (verdict != Verdict::kChecked) {
        handle_.reset();
        *why = full + L": " + fault;
    }
    return verdict;
}

UniqueFileHandle AdminFolder::NewFile(std::wstring_view name, std::wstring* why) const {
    return FileInside(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, CREATE_NEW, why);
}

UniqueFileHandle AdminFolder::PinFile(std::wstring_view name, std::wstring* why) const {
    return FileInside(name, GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ, OPEN_EXISTING, why);
}

UniqueFileHandle AdminFolder::FileInside(std::wstring_view name, DWORD access, DWORD sharing,
                                         DWORD disposition, std::wstring* why) const {
    if (!valid() || !IsPlainFileName(name)) {
        *why = L"not a file name of the folder: " + std::wstring(name);
        return UniqueFileHandle();
    }
    const std::wstring path = path_ + std::wstring(name);
    UniqueFileHandle file = OpenWithoutFollowing(path, access, sharing, disposition);
    const std::wstring fault = file ? OpenedObjectFault(file.get(), path, ObjectKind::kFile)
                                    : Error(L"it cannot be opened or made", ::GetLastError());
    if (!fault.empty()) {
        *why = path + L": " + fault;
        file.reset();
    }
    return file;
}

int AdminFolder::RemoveLeftovers(const AdminFolder& parent, std::wstring_view prefix) {
    if (!parent.valid() || prefix.empty()) {
        return 0;
    }
    int removed = 0;
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileW((parent.path_ + std::wstring(prefix) + L"*").c_str(), &found));
    if (!find) {
        return 0;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            RemoveTree(parent.path_ + found.cFileName, Administrators::OfThisSystem())) {
            ++removed;
        }
    } while (::FindNextFileW(find.get(), &found));
    return removed;
}

void AdminFolder::Close() noexcept {
    const bool remove = std::exchange(removeOnClose_, false) && handle_;
    handle_.reset();
    if (remove) {
        try {
            RemoveTree(path_.substr(0, path_.size() - 1), Administrators::OfThisSystem());
        } catch (...) {
            // Out of memory: the folder is left for RemoveLeftovers.
        }
    }
}
