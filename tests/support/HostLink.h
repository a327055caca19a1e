#pragma once

// Plants a link where the program must not follow one. Wine makes no links itself (its CreateSymbolicLinkW
// does nothing and "mklink /J" fails), but a symbolic link of the host file system inside the prefix is what
// it shows as one: GetFileAttributesW reports a folder link as FILE_ATTRIBUTE_REPARSE_POINT, and opening
// either kind (even with FILE_FLAG_OPEN_REPARSE_POINT) opens the target, whose path
// GetFinalPathNameByHandleW then gives. So the link is made by the host's "ln", started through wine's
// "start /unix".

#include "Wait.h"

#include "core/Handle.h"

#include <windows.h>

#include <string>

namespace testing_support {

// The host path of a Windows path in this prefix; "" when wine cannot tell (or this is not wine).
inline std::string HostPath(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) {
        return {};
    }
    std::string host(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return host;
}

// A host symbolic link at link (which must not exist) pointing to target (which must). True once it is there.
inline bool PlantHostLink(const std::wstring& link, const std::wstring& target) {
    const std::string hostLink = HostPath(link);
    const std::string hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty()) {
        return false;
    }
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    std::string command =
        std::string(system) + "\\start.exe /unix /bin/ln -s \"" + hostTarget + "\" \"" + hostLink + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return false;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle started(process.hProcess);
    return WaitUntil([&] { return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

}  // namespace testing_support
