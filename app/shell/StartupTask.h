#pragma once

// The logon task that starts the program with the highest privileges 30 seconds after any user logs on,
// registered (or refreshed) through the Task Scheduler 2.0 interfaces at every start:
//
//   folder "\", task "Kelvaro-DIG StartupTask", one logon trigger (id "Administrator", delay "PT30S", any
//   user), run level highest, no execution time limit, parallel instances, one action: the program folder's
//   "Calidra.exe"; registered create-or-update with the interactive token.

#include "common/ProgramLog.h"

#include <windows.h>
#include <taskschd.h>

inline constexpr wchar_t kStartupTaskName[] = L"Kelvaro-DIG StartupTask";

// How the ITaskService is made: the system's Task Scheduler class in the program's normal use, a fake of the
// interfaces in tests.
using TaskServiceFactory = HRESULT (*)(ITaskService** service);

// CoCreateInstance of the Task Scheduler class (in-process server) for ITaskService.
HRESULT CreateTaskSchedulerService(ITaskService** service) noexcept;

// Initialises COM on the calling thread, then connects, builds and registers the task. Each failing step
// writes one line to errors, its text followed by "with HRESULT: 0x" and the code in lower-case hex, and
// ends the sequence; a missing logon-trigger interface only skips the delay, and failures of the delay and
// of the task settings go unreported. Every interface obtained is released before COM is uninitialised
// (which is skipped only when COM could not be initialised).
// Returns 0 once the registration call was reached, whether or not it succeeded; 1 when a step before it
// failed.
int RegisterStartupTask(TaskServiceFactory createService, LineSink& errors) noexcept;

// The program's registration at start: the system's Task Scheduler, failures and then the outcome in the
// program log.
void RegisterStartupTaskInProgramLog() noexcept;
