#pragma once

// What a process holds, read from outside it, for the soak: kernel handles, GDI and USER objects, committed
// private memory and the working set.
//
// Wine answers GetGuiResources with 0, so the GDI objects are also counted the way its GDI keeps them: the
// live entries of the process's GDI handle table (the table its PEB points to), stock objects included. The
// USER objects that wine's server keeps cannot be counted from outside; the windows of the process
// (top-level, child and message-only) stand in for them.

#include <windows.h>

#include <cstdint>
#include <cstdio>

struct ProcessCounters {
    DWORD pid = 0;
    DWORD handles = 0;          // GetProcessHandleCount, or the system handle list when that fails
    DWORD gdiReported = 0;      // GetGuiResources(GR_GDIOBJECTS)
    DWORD userReported = 0;     // GetGuiResources(GR_USEROBJECTS)
    int64_t gdiTable = -1;      // live entries of the GDI handle table; -1 when it cannot be read
    DWORD windows = 0;          // windows the process owns
    uint64_t privateBytes = 0;  // committed private memory (MEM_PRIVATE, MEM_COMMIT)
    uint64_t workingSet = 0;    // GetProcessMemoryInfo
};

// False when the process cannot be opened for reading.
[[nodiscard]] bool ReadProcessCounters(DWORD pid, ProcessCounters* counters) noexcept;

// One line of name=value pairs (memory in KiB), e.g. "handles=85 gdi_reported=0 ... private_kib=10240".
void PrintProcessCounters(FILE* out, const wchar_t* label, const ProcessCounters& counters);
