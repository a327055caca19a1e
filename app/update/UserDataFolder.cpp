#include "update/UserDataFolder.h"

#include "shell/Product.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

std::wstring GetUserDataFolder() {
    wchar_t localAppData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, localAppData)) ||
        localAppData[0] == L'\0') {
        return {};
    }
    return std::wstring(localAppData) + L"\\" + kProductTitle + L" Files\\";
}

bool CreateFolderTree(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    if (::PathIsDirectoryW(path.c_str())) {
        return true;
    }
    const size_t first = path.find(L'\\');
    if (first != std::wstring::npos) {
        for (size_t slash = path.find(L'\\', first + 1); slash != std::wstring::npos;
             slash = path.find(L'\\', slash + 1)) {
            // Parents that exist already (or cannot be made) are left to the final check.
            ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
        }
    }
    ::SetLastError(0);
    if (::CreateDirectoryW(path.c_str(), nullptr)) {
        return true;
    }
    // "Already exists" is also the answer when a file has the folder's name: only a folder counts.
    return ::GetLastError() == ERROR_ALREADY_EXISTS && ::PathIsDirectoryW(path.c_str());
}
