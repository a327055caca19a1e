#pragma once

// A uniquely named folder under the prefix's temporary folder, deleted with everything in it at the end of
// the test, and small file helpers for building test trees in it.

#include "win/Handle.h"

#include <windows.h>

#include <string>

namespace testing_support {

inline void DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &found));
    if (find) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(folder + name + L"\\");
            } else {
                ::SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW((folder + name).c_str());
            }
        } while (::FindNextFileW(find.get(), &found));
    }
    ::RemoveDirectoryW(folder.c_str());
}

// Writes bytes to path, creating the folders on the way (path relative to nothing: give a full one).
inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1)) {
        ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    }
    const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

inline std::string ReadFileBytes(const std::wstring& path) {
    const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) {
        return bytes;
    }
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

// Copies a file to path, creating the folders on the way.
inline bool CopyFileTo(const std::wstring& from, const std::wstring& path) {
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1)) {
        ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    }
    return ::CopyFileW(from.c_str(), path.c_str(), FALSE) != 0;
}

class TempFolder {
  public:
    // prefix may contain spaces; the folder name ends with the process id and a serial number.
    explicit TempFolder(const std::wstring& prefix) {
        static int serial = 0;
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + prefix + L" " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++serial) + L"\\";
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { DeleteTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // With a trailing backslash.
    [[nodiscard]] const std::wstring& path() const { return path_; }

  private:
    std::wstring path_;
};

}  // namespace testing_support
