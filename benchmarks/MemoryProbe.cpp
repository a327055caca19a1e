// MemoryProbe.dll: loaded into a running process by memory_map.exe (benchmarks/MemoryMap.cpp), it writes what
// only the process itself can see of its heaps to "memory-probe-<pid>.txt" beside this DLL, then declines to
// stay loaded. Lines (numbers in hexadecimal for addresses, decimal for sizes):
//
//   heap HEAP KIND busy_bytes BUSY blocks N committed BYTES    KIND: process, crt or other
//   heap_region HEAP BASE COMMITTED UNCOMMITTED                 each region the heap occupies
//   heap_block HEAP ADDRESS SIZE                                each busy block of at least kListedBlock
//   bytes
//
// The walk runs with each heap locked, inside the loader's lock; allocations elsewhere wait meanwhile.

#include "win/Handle.h"

#include <windows.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kMostHeaps = 256;
constexpr SIZE_T kListedBlock = 4096;

void Append(std::string& out, const char* format, auto... values) {
    char line[160];
    const int length = std::snprintf(line, sizeof(line), format, values...);
    if (length > 0) {
        out.append(line, static_cast<size_t>(length) < sizeof(line) ? static_cast<size_t>(length)
                                                                    : sizeof(line) - 1);
    }
}

void WalkHeap(HANDLE heap, const char* kind, std::string& out) {
    std::string details;
    SIZE_T busy = 0, committed = 0;
    size_t blocks = 0;
    PROCESS_HEAP_ENTRY entry{};
    if (!::HeapLock(heap)) {
        return;
    }
    while (::HeapWalk(heap, &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_REGION) != 0) {
            committed += entry.Region.dwCommittedSize;
            Append(details, "heap_region %p %p %lu %lu\n", heap, entry.lpData, entry.Region.dwCommittedSize,
                   entry.Region.dwUnCommittedSize);
        } else if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
            busy += entry.cbData;
            ++blocks;
            if (entry.cbData >= kListedBlock) {
                Append(details, "heap_block %p %p %zu\n", heap, entry.lpData,
                       static_cast<size_t>(entry.cbData));
            }
        }
    }
    ::HeapUnlock(heap);
    Append(out, "heap %p %s busy_bytes %zu blocks %zu committed %zu\n", heap, kind, static_cast<size_t>(busy),
           blocks, static_cast<size_t>(committed));
    out += details;
}

void WriteReport(HMODULE self) {
    HANDLE heaps[kMostHeaps];
    const DWORD count = ::GetProcessHeaps(kMostHeaps, heaps);
    const HANDLE processHeap = ::GetProcessHeap();
    // The C runtime's malloc heap: the same msvcrt.dll serves this DLL and the process.
    const auto crtHeap = reinterpret_cast<HANDLE>(_get_heap_handle());
    std::string out;
    for (DWORD i = 0; i < count && i < kMostHeaps; ++i) {
        WalkHeap(heaps[i], heaps[i] == processHeap ? "process" : heaps[i] == crtHeap ? "crt" : "other", out);
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring file(path, length);
    file = file.substr(0, file.find_last_of(L'\\') + 1) + L"memory-probe-" +
           std::to_wstring(::GetCurrentProcessId()) + L".txt";
    const UniqueFileHandle handle(
        ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (handle) {
        ::WriteFile(handle.get(), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        WriteReport(self);
        return FALSE;  // done: the loader unloads it again
    }
    return TRUE;
}
