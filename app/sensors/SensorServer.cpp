#include "sensors/SensorServer.h"

#include "common/ProgramFolder.h"
#include "security/OpenedPath.h"

#include "win/Handle.h"

#include <tlhelp32.h>

#include <climits>

namespace {

// Advanced by every watchdog tick of the process and never reset.
int g_watchdogAttempts = 0;

// The two diagnostics are fixed Chinese texts ("cannot load ntdll.dll", "cannot get the address of the
// RtlGetNtVersionNumbers function").
constexpr wchar_t kNtdllMissingLine[] = L"\u65e0\u6cd5\u52a0\u8f7d ntdll.dll";
constexpr wchar_t kVersionExportMissingLine[] =
    L"\u65e0\u6cd5\u83b7\u53d6 RtlGetNtVersionNumbers \u51fd\u6570\u7684\u5730\u5740";

}  // namespace

bool IsNtMajorVersion10OrLater(const wchar_t* library, const char* function, LineSink& errors) noexcept {
    UniqueModule module(::LoadLibraryW(library));
    if (!module) {
        errors.WriteLine(kNtdllMissingLine);
        return false;
    }
    using VersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    const auto versionNumbers =
        reinterpret_cast<VersionNumbersFn>(reinterpret_cast<void*>(::GetProcAddress(module.get(), function)));
    if (!versionNumbers) {
        errors.WriteLine(kVersionExportMissingLine);
        return false;
    }
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    versionNumbers(&major, &minor, &build);
    return major >= 10;
}

bool IsWindows10OrLater() noexcept {
    return IsNtMajorVersion10OrLater(L"ntdll.dll", "RtlGetNtVersionNumbers", ProgramLog());
}

std::wstring SensorServerPath(int attempt, bool windows10OrLater) {
    const bool newBuild = windows10OrLater && attempt < kSensorServerFallbackAttempt;
    return GetProgramFolder() + (newBuild ? L"\\Termivox\\" : L"\\TermivoxWin7\\") + kSensorServerName;
}

void StartSensorServer(int attempt) noexcept {
    std::wstring path;
    try {
        path = SensorServerPath(attempt, IsWindows10OrLater());
    } catch (...) {
        return;
    }
    // The path names the executable exactly and the command line quotes it: an install folder with spaces
    // must never make the system try "C:\Program.exe" and the like first.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        LogEvent(L"Sensor server not started (attempt %d, error %lu): %ls", attempt, ::GetLastError(),
                 path.c_str());
        return;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle started(process.hProcess);
    LogEvent(L"Sensor server started (attempt %d, process %lu): %ls", attempt, process.dwProcessId,
             path.c_str());
}

bool IsOwnSensorServer(const std::wstring& image, DWORD session, DWORD ownSession,
                       const std::wstring& win10Server, const std::wstring& olderServer) {
    if (session != ownSession) {
        return false;
    }
    const std::wstring full = FullPathOf(image);
    return SamePlace(full, FullPathOf(win10Server)) || SamePlace(full, FullPathOf(olderServer));
}

bool StopSensorServer() noexcept {
    try {
        const std::wstring win10Server = SensorServerPath(0, true);
        const std::wstring olderServer = SensorServerPath(kSensorServerFallbackAttempt, true);
        DWORD ownSession = 0;
        ::ProcessIdToSessionId(::GetCurrentProcessId(), &ownSession);
        UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) {
            return false;
        }
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
             more = ::Process32NextW(snapshot.get(), &entry)) {
            if (::CompareStringOrdinal(entry.szExeFile, -1, kSensorServerName, -1, TRUE) != CSTR_EQUAL) {
                continue;
            }
            // Its image and session are read through the handle that ends it: the same process, whatever
            // happens to its id meanwhile.
            const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                                                     FALSE, entry.th32ProcessID));
            wchar_t image[MAX_PATH * 2] = {};
            DWORD length = MAX_PATH * 2;
            DWORD session = 0;
            if (!process || !::QueryFullProcessImageNameW(process.get(), 0, image, &length) ||
                !::ProcessIdToSessionId(::GetProcessId(process.get()), &session) ||
                !IsOwnSensorServer(image, session, ownSession, win10Server, olderServer)) {
                continue;
            }
            if (::TerminateProcess(process.get(), 0)) {
                LogEvent(L"Sensor server stopped (process %lu): %ls", entry.th32ProcessID, image);
            }
            break;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool SensorWatchdogTick(const SensorSnapshot* snapshot) noexcept {
    // NaN compares false and so never starts anything.
    if (snapshot && SnapshotLiveness(*snapshot) <= 0.0f) {
        StartSensorServer(g_watchdogAttempts);
    }
    const int attempt = g_watchdogAttempts;
    if (g_watchdogAttempts < INT_MAX) {
        ++g_watchdogAttempts;
    }
    return attempt > 10;
}
