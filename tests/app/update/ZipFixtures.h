#pragma once

// The archives make_zip_fixtures.py builds before the extraction tests run, and small helpers to look at what
// an extraction left on disk.

#include "TestSupport.h"
#include "update/ExtractZip.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zip_fixtures {

// With a trailing backslash.
inline std::wstring Folder() {
    return testing_support::TestDir() + L"zip_fixtures\\";
}

// The outcome of the entry called name (cleaned), or null.
inline const ZipEntryOutcome* Outcome(const std::vector<ZipEntryOutcome>& outcomes, std::wstring_view name) {
    for (const ZipEntryOutcome& outcome : outcomes) {
        if (outcome.name == name) {
            return &outcome;
        }
    }
    return nullptr;
}

// Every file and folder below folder (which ends in a backslash), as full paths; folders end in a backslash.
inline void ListTree(const std::wstring& folder, std::vector<std::wstring>* found) {
    WIN32_FIND_DATAW data{};
    UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &data));
    if (!find) {
        return;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            found->push_back(folder + name + L"\\");
            ListTree(folder + name + L"\\", found);
        } else {
            found->push_back(folder + name);
        }
    } while (::FindNextFileW(find.get(), &data));
}

inline uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline uint64_t UtcTicks(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    const SYSTEMTIME utc{year, month, 0, day, hour, minute, second, 0};
    FILETIME time{};
    ::SystemTimeToFileTime(&utc, &time);
    return Ticks(time);
}

inline uint64_t UnixTicks(uint32_t seconds) {
    return seconds * 10'000'000ull + 116'444'736'000'000'000ull;
}

struct FileTimes {
    uint64_t creation = 0;
    uint64_t access = 0;
    uint64_t modification = 0;
};

inline FileTimes TimesOf(const std::wstring& path) {
    FileTimes times;
    const UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file) {
        FILETIME c{}, a{}, m{};
        ::GetFileTime(file.get(), &c, &a, &m);
        times = {Ticks(c), Ticks(a), Ticks(m)};
    }
    return times;
}

}  // namespace zip_fixtures
