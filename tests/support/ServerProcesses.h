#pragma once

// The running processes whose executable name is the sensor server's in any letter case, in the order the
// system lists them.

#include "win/Handle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace testing_support {

inline std::vector<DWORD> ServerLikeProcesses() {
    std::vector<DWORD> ids;
    const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return ids;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, L"OpenTermivoxServer.exe", -1, TRUE) == CSTR_EQUAL) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    return ids;
}

}  // namespace testing_support
