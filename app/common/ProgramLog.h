#pragma once

// The program's log: what a user can send when something goes wrong. The program is a window application
// without a console, so its diagnostics (the autostart registration's failures, the Windows version probe)
// and the events worth knowing afterwards (each start with the version, sensor-server starts and stops,
// displays found and lost, update checks) are written here instead of to a standard error stream.
//
// Each user who runs the program has a log of their own, "Calidra-<the user's SID>.log", in the "Logs" folder
// of the program's machine-wide folder (MachineFolder.h): a folder only administrators can change and users
// may read. The elevated program never writes, renames or deletes its log in a place an ordinary process
// could point elsewhere. UTF-8, one line per event with the local time in front:
//
//   2025-03-14 09:26:53.120 Calidra 1.0.0.5 started from C:\Program Files\Calidra\ (process 4242)
//
// It never grows past kLogSizeLimit: the line that would pass it first moves the file to "<name>.old.log"
// (replacing the older one). A log that cannot be written never stops or slows the program: the line is lost.

#include "win/Handle.h"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

inline constexpr wchar_t kLogName[] = L"Calidra";
inline constexpr wchar_t kLogExtension[] = L".log";
inline constexpr wchar_t kOldLogExtension[] = L".old.log";
inline constexpr uint64_t kLogSizeLimit = 1024 * 1024;
// A longer line is cut; the limit keeps every write small and bounded.
inline constexpr size_t kLogLineMaxChars = 1024;

// Where diagnostic lines go: the program log, or what a test collects.
class LineSink {
  public:
    // One line without its end-of-line.
    virtual void WriteLine(std::wstring_view line) noexcept = 0;

  protected:
    LineSink() = default;
    ~LineSink() = default;
};

class LogFile final : public LineSink {
  public:
    // folder: where the log lives, with a trailing backslash; it is never created here. An empty folder means
    // no log at all. name: the log's file name without its extension.
    explicit LogFile(std::wstring folder, std::wstring name = kLogName, uint64_t sizeLimit = kLogSizeLimit);
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Appends the time stamp, the line and CR LF. Any thread. False when the line could not be written: there
    // is no such folder, the file is locked, or the folder or the file is not what its path says (a link, a
    // reparse point or a second name of another file is never written through, renamed or deleted). The file
    // is moved aside and, when that fails, deleted through the handle it was checked by.
    bool Write(std::wstring_view line) noexcept;
    void WriteLine(std::wstring_view line) noexcept override { (void)Write(line); }

    [[nodiscard]] std::wstring Path() const {
        return folder_.empty() ? std::wstring() : folder_ + name_ + kLogExtension;
    }
    [[nodiscard]] std::wstring OldPath() const {
        return folder_.empty() ? std::wstring() : folder_ + name_ + kOldLogExtension;
    }

  private:
    [[nodiscard]] UniqueFileHandle OpenForAppend() noexcept;
    void Rotate(HANDLE file) noexcept;

    std::mutex mutex_;
    const std::wstring folder_;
    const std::wstring name_;
    const uint64_t sizeLimit_;
};

// The program's log for the user who runs it, its folder made and checked on first use.
[[nodiscard]] LogFile& ProgramLog() noexcept;

// A formatted line (swprintf rules, %ls for wide strings) to the program log, cut at kLogLineMaxChars.
void LogEvent(const wchar_t* format, ...) noexcept;
