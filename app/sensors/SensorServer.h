#pragma once

// Starting, supervising and stopping the sensor server, the separate process that fills the shared block
// (SensorSnapshot.h). Two builds are shipped under the program folder: Termivox\ for Windows 10 and later,
// TermivoxWin7\ for older Windows.

#include "sensors/SensorSnapshot.h"
#include "common/ProgramLog.h"

#include <windows.h>

#include <string>

inline constexpr wchar_t kSensorServerName[] = L"OpenTermivoxServer.exe";

// The main window's watchdog timer: it calls SensorWatchdogTick every 5 s and kills the timer when told to.
inline constexpr UINT_PTR kSensorWatchdogTimerId = 300;
inline constexpr UINT kSensorWatchdogPeriodMs = 5000;

// From this attempt on, the older-Windows build is started even on Windows 10 or later.
inline constexpr int kSensorServerFallbackAttempt = 8;

// True when the system's major version (from ntdll's RtlGetNtVersionNumbers) is 10 or above; Windows 11
// reports 10. When ntdll or the export cannot be had, one of two fixed Chinese lines goes to the program log
// and the answer is false.
[[nodiscard]] bool IsWindows10OrLater() noexcept;

// The probe behind IsWindows10OrLater, with the library, the export and the error lines' destination named
// by the caller so that both failure lines can be checked.
[[nodiscard]] bool IsNtMajorVersion10OrLater(const wchar_t* library, const char* function,
                                             LineSink& errors) noexcept;

// The server's full path for this attempt: program folder + "\Termivox\..." on Windows 10 or later while
// attempt < 8, program folder + "\TermivoxWin7\..." otherwise. The program folder already ends in a
// backslash, so the path carries a doubled one, which Windows accepts.
[[nodiscard]] std::wstring SensorServerPath(int attempt, bool windows10OrLater);

// Starts the server for this attempt without arguments and keeps no handle to it. The path names the
// executable exactly and is quoted on the command line, so an install folder with spaces cannot make the
// system run something else first. The start or its failure goes to the program log, nowhere else.
void StartSensorServer(int attempt) noexcept;

// Terminates the first running process that is one of this program's own servers (IsOwnSensorServer), and
// logs it; a process of that name started from anywhere else, or in another session, is left alone. Each
// one is opened with only the rights to read its image path and to end it. True when the process list could
// be walked, whether or not a server was found.
bool StopSensorServer() noexcept;

// Whether a process is one of this program's own servers: its image is one of the two server paths
// (SensorServerPath for both builds; letter case and doubled backslashes do not count) and it runs in this
// program's session.
[[nodiscard]] bool IsOwnSensorServer(const std::wstring& image, DWORD session, DWORD ownSession,
                                     const std::wstring& win10Server, const std::wstring& olderServer);

// One tick of the watchdog timer (kSensorWatchdogTimerId), to be called by the main window's WM_TIMER
// handler on the UI thread. snapshot: the mapped block, or null while it is not mapped yet (not owned). When
// the block is mapped and its liveness value is 0 or below (NaN is not), the server is started again with the
// process-wide attempt counter, which every tick then advances. Returns true on the 12th tick (the counter
// was above 10): the caller must kill that timer then.
[[nodiscard]] bool SensorWatchdogTick(const SensorSnapshot* snapshot) noexcept;
