#include "sensors/SensorServer.h"

#include "core/Handle.h"
#include "core/Manager.h"

#include <tlhelp32.h>

#include <climits>

namespace {

// Advanced by every watchdog tick of the process and never reset.
int g_watchdogAttempts = 0;

// The two diagnostics are fixed 8-bit texts in code page 936 (GBK).
constexpr char kNtdllMissingLine[] = "\xce\xde\xb7\xa8\xbc\xd3\xd4\xd8 ntdll.dll";
constexpr char kVersionExportMissingLine[] =
    "\xce\xde\xb7\xa8\xbb\xf1\xc8\xa1 RtlGetNtVersionNumbers \xba\xaf\xca\xfd\xb5\xc4\xb5\xd8\xd6\xb7";

void WriteErrorLine(std::FILE* errors, const char* line) noexcept {
    std::fputs(line, errors);
    std::fputc('\n', errors);
    std::fflush(errors);
}

}  // namespace

std::wstring GetProgramFolder() {
    return Tessel::Manager::GetAppFolder().GetString();
}

bool IsNtMajorVersion10OrLater(const wchar_t* library, const char* function, std::FILE* errors) noexcept {
    UniqueModule module(::LoadLibraryW(library));
    if (!module) {
        WriteErrorLine(errors, kNtdllMissingLine);
        return false;
    }
    using VersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    const auto versionNumbers =
        reinterpret_cast<VersionNumbersFn>(reinterpret_cast<void*>(::GetProcAddress(module.get(), function)));
    if (!versionNumbers) {
        WriteErrorLine(errors, kVersionExportMissingLine);
        return false;
    }
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    versionNumbers(&major, &minor, &build);
    return major >= 10;
}

bool IsWindows10OrLater() noexcept {
    return IsNtMajorVersion10OrLater(L"ntdll.dll", "RtlGetNtVersionNumbers", stderr);
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
    if (::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

bool StopSensorServer() noexcept {
    DWORD serverId = 0;
    {
        UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) {
            return false;
        }
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
             more = ::Process32NextW(snapshot.get(), &entry)) {
            if (::CompareStringOrdinal(entry.szExeFile, -1, kSensorServerName, -1, TRUE) == CSTR_EQUAL) {
                serverId = entry.th32ProcessID;
                break;
            }
        }
    }
    if (serverId != 0) {
        UniqueHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, serverId));
        if (process) {
            ::TerminateProcess(process.get(), 0);
        }
    }
    return true;
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
