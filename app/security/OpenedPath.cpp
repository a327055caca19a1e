#include "security/OpenedPath.h"

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

std::wstring_view WithoutTrailingBackslashes(std::wstring_view path) noexcept {
    while (path.size() > 3 && path.back() == L'\\') {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace

UniqueFileHandle OpenWithoutFollowing(const std::wstring& path, DWORD access, DWORD share,
                                      DWORD disposition) {
    return UniqueFileHandle(::CreateFileW(
        path.c_str(), access, share, nullptr, disposition,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::wstring FullPathOf(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return {};
    }
    full.resize(length);
    return std::wstring(WithoutTrailingBackslashes(full));
}

std::wstring FinalPathOf(HANDLE object) {
    const DWORD needed =
        ::GetFinalPathNameByHandleW(object, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (needed == 0) {
        return {};
    }
    std::wstring path(needed, L'\0');
    const DWORD length =
        ::GetFinalPathNameByHandleW(object, path.data(), needed, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= needed) {
        return {};
    }
    path.resize(length);
    if (path.starts_with(kLongUncPrefix)) {
        return L"\\\\" + path.substr(kLongUncPrefix.size());
    }
    if (path.starts_with(kLongPrefix)) {
        return path.substr(kLongPrefix.size());
    }
    return path;
}

bool SamePlace(std::wstring_view a, std::wstring_view b) noexcept {
    a = WithoutTrailingBackslashes(a);
    b = WithoutTrailingBackslashes(b);
    return !a.empty() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring OpenedObjectFault(HANDLE object, const std::wstring& path, ObjectKind kind) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(object, &info)) {
        return L"it cannot be examined";
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return L"it is a link (reparse point)";
    }
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder != (kind == ObjectKind::kFolder)) {
        return folder ? L"it is a folder" : L"it is a file";
    }
    const std::wstring final = FinalPathOf(object);
    if (!SamePlace(final, FullPathOf(path))) {
        return L"it leads elsewhere (" + final + L")";
    }
    return {};
}
