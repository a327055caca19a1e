#include "ProcessCounters.h"

#include "win/Handle.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

// The GDI handle table as wine (and Windows before 10) lays it out: 65536 entries of 24 bytes, the object
// type at byte 14, zero for a free entry. The PEB of a 64-bit process points to it at offset 0xF8.
constexpr size_t kGdiTableEntries = 0x10000;
constexpr size_t kGdiEntrySize = 24;
constexpr size_t kGdiEntryTypeOffset = 14;
constexpr size_t kPebGdiTableOffset = 0xF8;

int64_t CountGdiTableEntries(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic{};
    ULONG length = 0;
    if (!NT_SUCCESS(
            ::NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic), &length)) ||
        basic.PebBaseAddress == nullptr) {
        return -1;
    }
    ULONG_PTR table = 0;
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process,
                             reinterpret_cast<const BYTE*>(basic.PebBaseAddress) + kPebGdiTableOffset, &table,
                             sizeof(table), &read) ||
        read != sizeof(table) || table == 0) {
        return -1;
    }
    std::vector<BYTE> entries(kGdiTableEntries * kGdiEntrySize);
    if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(), entries.size(),
                             &read) ||
        read != entries.size()) {
        return -1;
    }
    int64_t live = 0;
    for (size_t i = 0; i < kGdiTableEntries; ++i) {
        live += entries[i * kGdiEntrySize + kGdiEntryTypeOffset] != 0 ? 1 : 0;
    }
    return live;
}

// The system's list of open handles (SystemExtendedHandleInformation), for when the process's own count is
// not given (wine answers GetProcessHandleCount for another process with 0).
constexpr auto kSystemExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
constexpr ULONG kLargestHandleList = 64u << 20;

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry handles[1];
};

DWORD CountSystemHandles(DWORD pid) {
    std::vector<BYTE> buffer(1u << 20);
    for (;;) {
        ULONG needed = 0;
        const NTSTATUS status = ::NtQuerySystemInformation(kSystemExtendedHandleInformation, buffer.data(),
                                                           static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch && buffer.size() < kLargestHandleList) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
            continue;
        }
        if (!NT_SUCCESS(status)) {
            return 0;
        }
        break;
    }
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const size_t fits = (buffer.size() - offsetof(HandleList, handles)) / sizeof(HandleEntry);
    DWORD count = 0;
    for (size_t i = 0; i < std::min<size_t>(list->count, fits); ++i) {
        count += list->handles[i].processId == pid ? 1 : 0;
    }
    return count;
}

struct WindowCount {
    DWORD pid;
    DWORD count;
};

BOOL CALLBACK CountChild(HWND hwnd, LPARAM context) {
    auto* windows = reinterpret_cast<WindowCount*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    windows->count += owner == windows->pid ? 1 : 0;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM context) {
    CountChild(hwnd, context);
    ::EnumChildWindows(hwnd, &CountChild, context);
    return TRUE;
}

DWORD CountWindows(DWORD pid) {
    WindowCount windows{pid, 0};
    ::EnumWindows(&CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    for (HWND hwnd = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); hwnd != nullptr;
         hwnd = ::FindWindowExW(HWND_MESSAGE, hwnd, nullptr, nullptr)) {
        CountTopLevel(hwnd, reinterpret_cast<LPARAM>(&windows));
    }
    return windows.count;
}

uint64_t CommittedPrivateBytes(HANDLE process) {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const BYTE* at = nullptr;
         ::VirtualQueryEx(process, at, &region, sizeof(region)) == sizeof(region) && region.RegionSize > 0;
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += region.RegionSize;
        }
    }
    return total;
}

}  // namespace

bool ReadProcessCounters(DWORD pid, ProcessCounters* counters) noexcept {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) {
        return false;
    }
    *counters = ProcessCounters{};
    counters->pid = pid;
    if (!::GetProcessHandleCount(process.get(), &counters->handles) || counters->handles == 0) {
        counters->handles = CountSystemHandles(pid);
    }
    counters->gdiReported = ::GetGuiResources(process.get(), GR_GDIOBJECTS);
    counters->userReported = ::GetGuiResources(process.get(), GR_USEROBJECTS);
    counters->gdiTable = CountGdiTableEntries(process.get());
    counters->windows = CountWindows(pid);
    counters->privateBytes = CommittedPrivateBytes(process.get());
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (::GetProcessMemoryInfo(process.get(), &memory, sizeof(memory))) {
        counters->workingSet = memory.WorkingSetSize;
    }
    return true;
}

void PrintProcessCounters(FILE* out, const wchar_t* label, const ProcessCounters& c) {
    std::fprintf(out,
                 "%ls pid=%lu handles=%lu gdi_reported=%lu user_reported=%lu gdi_table=%lld windows=%lu "
                 "private_kib=%llu working_set_kib=%llu\n",
                 label, c.pid, c.handles, c.gdiReported, c.userReported, static_cast<long long>(c.gdiTable),
                 c.windows, static_cast<unsigned long long>(c.privateBytes / 1024),
                 static_cast<unsigned long long>(c.workingSet / 1024));
    std::fflush(out);
}
