// What Windows says about a running process's memory, for the memory breakdown
// (benchmarks/memory_breakdown.py), which puts it beside Linux's per-mapping figures of the same process
// (/proc/PID/smaps):
//
//   memory_map.exe PID|NAME      (the Windows process id, or the executable's name when one process has it)
//
// Lines (addresses in hexadecimal, sizes in bytes):
//   region BASE SIZE TYPE PROTECT ALLOCATION_BASE    each committed region; TYPE image, mapped or private
//   module BASE SIZE PATH                            each loaded module (its image's address range)
//   stack TID LOW HIGH START                         each thread's stack reservation and start address
//   teb TID ADDRESS                                  each thread's environment block
//   then the lines of MemoryProbe.dll (heaps, their regions and large blocks; see MemoryProbe.cpp), which
//   this tool loads into the process for a moment: only the process itself can walk its heaps.
//
// Exit code: 0, 2 bad arguments, 3 the process cannot be read, 4 the heaps could not be walked (the rest was
// printed).

#include "win/Handle.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kBadArguments = 2;
constexpr int kUnreadable = 3;
constexpr int kNoHeaps = 4;
constexpr DWORD kProbeWaitMs = 20000;
constexpr wchar_t kProbeDll[] = L"MemoryProbe.dll";
// NT_TIB's stack bounds and, beyond the documented part, the start of the stack's reservation (x64 TEB).
constexpr size_t kTebDeallocationStack = 0x1478;
constexpr int kMostModules = 1024;
constexpr auto kThreadBasicInformation = static_cast<THREADINFOCLASS>(0);
constexpr auto kThreadStartAddress = static_cast<THREADINFOCLASS>(9);  // ThreadQuerySetWin32StartAddress
constexpr DWORD kReadChunk = 65536;

// NtQueryInformationThread's ThreadBasicInformation (not in the SDK headers).
struct ThreadBasicInformation {
    NTSTATUS exitStatus;
    PVOID tebBaseAddress;
    CLIENT_ID clientId;
    KAFFINITY affinityMask;
    LONG priority;
    LONG basePriority;
};

const char* TypeName(DWORD type) {
    switch (type) {
        case MEM_IMAGE:
            return "image";
        case MEM_MAPPED:
            return "mapped";
        default:
            return "private";
    }
}

void PrintRegions(HANDLE process) {
    MEMORY_BASIC_INFORMATION region{};
    for (const BYTE* at = nullptr;
         ::VirtualQueryEx(process, at, &region, sizeof(region)) == sizeof(region) && region.RegionSize > 0;
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT) {
            std::printf("region %p %zu %s %lx %p\n", region.BaseAddress,
                        static_cast<size_t>(region.RegionSize), TypeName(region.Type), region.Protect,
                        region.AllocationBase);
        }
    }
}

void PrintStacks(HANDLE process, DWORD pid) {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != pid) {
            continue;
        }
        const UniqueHandle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        ThreadBasicInformation basic{};
        if (!thread || !NT_SUCCESS(::NtQueryInformationThread(thread.get(), kThreadBasicInformation, &basic,
                                                              sizeof(basic), nullptr))) {
            continue;
        }
        NT_TIB tib{};
        void* reservation = nullptr;
        SIZE_T read = 0;
        const auto* teb = static_cast<const BYTE*>(basic.tebBaseAddress);
        if (::ReadProcessMemory(process, teb, &tib, sizeof(tib), &read) &&
            ::ReadProcessMemory(process, teb + kTebDeallocationStack, &reservation, sizeof(reservation),
                                &read)) {
            std::printf("teb %lu %p\n", entry.th32ThreadID, basic.tebBaseAddress);
            void* start = nullptr;
            static_cast<void>(::NtQueryInformationThread(thread.get(), kThreadStartAddress, &start,
                                                         sizeof(start), nullptr));
            std::printf("stack %lu %p %p %p\n", entry.th32ThreadID,
                        reservation != nullptr ? reservation : tib.StackLimit, tib.StackBase, start);
        }
    }
}

void PrintModules(HANDLE process) {
    HMODULE modules[kMostModules];
    DWORD needed = 0;
    if (!::K32EnumProcessModulesEx(process, modules, sizeof(modules), &needed, LIST_MODULES_ALL)) {
        return;
    }
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < kMostModules; ++i) {
        MODULEINFO info{};
        wchar_t path[MAX_PATH] = {};
        if (::K32GetModuleInformation(process, modules[i], &info, sizeof(info)) &&
            ::K32GetModuleFileNameExW(process, modules[i], path, MAX_PATH)) {
            std::printf("module %p %lu %ls\n", info.lpBaseOfDll, info.SizeOfImage, path);
        }
    }
}

// LoadLibraryW as the process sees it: kernel32.dll's base there plus the function's offset here.
FARPROC RemoteLoadLibrary(HANDLE process) {
    const HMODULE local = ::GetModuleHandleW(L"kernel32.dll");
    HMODULE modules[kMostModules];
    DWORD needed = 0;
    if (local == nullptr ||
        !::K32EnumProcessModulesEx(process, modules, sizeof(modules), &needed, LIST_MODULES_ALL)) {
        return nullptr;
    }
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < kMostModules; ++i) {
        wchar_t name[MAX_PATH] = {};
        if (::K32GetModuleBaseNameW(process, modules[i], name, MAX_PATH) &&
            _wcsicmp(name, L"kernel32.dll") == 0) {
            const auto offset = reinterpret_cast<const BYTE*>(::GetProcAddress(local, "LoadLibraryW")) -
                                reinterpret_cast<const BYTE*>(local);
            return reinterpret_cast<FARPROC>(reinterpret_cast<BYTE*>(modules[i]) + offset);
        }
    }
    return nullptr;
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// Loads the probe into the process and prints what it wrote. False if that did not happen.
bool PrintHeaps(HANDLE process, DWORD pid) {
    const std::wstring dll = OwnFolder() + kProbeDll;
    const std::wstring report = OwnFolder() + L"memory-probe-" + std::to_wstring(pid) + L".txt";
    ::DeleteFileW(report.c_str());
    const FARPROC loadLibrary = RemoteLoadLibrary(process);
    const size_t bytes = (dll.size() + 1) * sizeof(wchar_t);
    void* remote = loadLibrary != nullptr
                       ? ::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                       : nullptr;
    if (remote == nullptr) {
        return false;
    }
    bool loaded = false;
    if (::WriteProcessMemory(process, remote, dll.c_str(), bytes, nullptr)) {
        const UniqueHandle thread(::CreateRemoteThread(
            process, nullptr, 0,
            reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(loadLibrary)), remote, 0,
            nullptr));
        loaded = thread && ::WaitForSingleObject(thread.get(), kProbeWaitMs) == WAIT_OBJECT_0;
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    std::string text;
    {
        const UniqueFileHandle file(
            ::CreateFileW(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char chunk[kReadChunk];
        DWORD got = 0;
        while (loaded && file && ::ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            text.append(chunk, got);
        }
    }
    ::DeleteFileW(report.c_str());
    std::fwrite(text.data(), 1, text.size(), stdout);
    return !text.empty();
}

// The id of the one process with that executable name; 0 for none or several.
DWORD FindProcess(const wchar_t* name) {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    DWORD found = 0;
    int count = 0;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0) {
            found = entry.th32ProcessID;
            ++count;
        }
    }
    return count == 1 ? found : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return kBadArguments;
    }
    wchar_t* end = nullptr;
    DWORD pid = static_cast<DWORD>(std::wcstoul(argv[1], &end, 10));
    if (end == argv[1] || *end != L'\0') {
        pid = FindProcess(argv[1]);
    }
    if (pid == 0) {
        return kBadArguments;
    }
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                                 PROCESS_VM_OPERATION | PROCESS_CREATE_THREAD,
                                             FALSE, pid));
    if (!process) {
        return kUnreadable;
    }
    PrintRegions(process.get());
    PrintModules(process.get());
    PrintStacks(process.get(), pid);
    std::fflush(stdout);
    return PrintHeaps(process.get(), pid) ? 0 : kNoHeaps;
}
