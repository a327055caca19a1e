// A stand-in for the installer in an update package: records how it was started and exits 0 (2 when it
// cannot record). It appends to the file named by the environment variable CALIDRA_PROBE_LOG, in UTF-16, one
// "key: value" line each, then an empty line:
//
//   command: its command line
//   folder: its current folder
//   temp: its TEMP variable
//   beside: the names in its own folder, each followed by "|"

#include "win/Handle.h"

#include <windows.h>

#include <string>

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return length < MAX_PATH * 2 ? std::wstring(value, length) : std::wstring();
}

std::wstring Beside() {
    wchar_t self[MAX_PATH * 2] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::wstring folder(self, length);
    folder.resize(folder.rfind(L'\\') + 1);
    std::wstring names;
    WIN32_FIND_DATAW found{};
    const UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &found));
    if (!find) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names += name + L"|";
        }
    } while (::FindNextFileW(find.get(), &found));
    return names;
}

}  // namespace

int wmain() {
    const std::wstring log = Variable(L"CALIDRA_PROBE_LOG");
    if (log.empty()) {
        return 2;
    }
    wchar_t current[MAX_PATH * 2] = {};
    ::GetCurrentDirectoryW(MAX_PATH * 2, current);
    const std::wstring record = L"command: " + std::wstring(::GetCommandLineW()) + L"\nfolder: " + current +
                                L"\ntemp: " + Variable(L"TEMP") + L"\nbeside: " + Beside() + L"\n\n";
    const UniqueFileHandle file(::CreateFileW(log.c_str(), FILE_APPEND_DATA,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return 2;
    }
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file.get(), record.data(),
                                static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    return ok ? 0 : 2;
}
