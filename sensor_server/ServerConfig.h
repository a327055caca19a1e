#pragma once

// The server's optional configuration file, OpenTermivoxServer.ini beside the executable: plain
// "key = value" lines, '#' or ';' starting a comment line. Every problem is reported as a message and the
// setting keeps its default; nothing in the file can stop the server.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

inline constexpr wchar_t kServerConfigName[] = L"OpenTermivoxServer.ini";
inline constexpr size_t kMaxConfigBytes = 64 * 1024;

inline constexpr DWORD kDefaultPeriodMs = 1000;
inline constexpr DWORD kMinPeriodMs = 50;
inline constexpr DWORD kMaxPeriodMs = 10000;

enum class ReadingSource {
    System,    // CPU load from the system, temperature from the best sensor found
    Scripted,  // rows of a CSV file replayed in a loop
};

struct ServerConfig {
    ReadingSource source = ReadingSource::System;
    std::wstring csvPath;  // absolute; set whenever the file names one
    DWORD periodMs = kDefaultPeriodMs;
    std::wstring sysfsRoot = L"Z:\\sys";  // where Linux's /sys appears when running under wine
};

// folder: the server's own folder with a trailing backslash; relative paths in the file are taken from it.
[[nodiscard]] ServerConfig ParseServerConfig(std::string_view text, const std::wstring& folder,
                                             std::vector<std::string>* messages);
