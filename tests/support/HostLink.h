#pragma once

// Plants a link where the program must not follow one. Wine makes no links itself (its CreateSymbolicLinkW
// does nothing and "mklink /J" fails), but a symbolic link of the host file system inside the prefix is what
// it shows as one: GetFileAttributesW reports a folder link as FILE_ATTRIBUTE_REPARSE_POINT, and opening
// either kind (even with FILE_FLAG_OPEN_REPARSE_POINT) opens the target, whose path
// GetFinalPathNameByHandleW then gives. So the link is made by the host's "ln", started through wine's
// "start /unix".

#include "TestSupport.h"
#include "Wait.h"

#include "win/Handle.h"

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
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring command = std::wstring(system) + L"\\start.exe /unix /bin/ln -s " +
                                 Quote(Widen(hostTarget)) + L" " + Quote(Widen(hostLink));
    return StartDetached(command) &&
           WaitUntil([&] { return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

}  // namespace testing_support
