// The Windows half of the soak (benchmarks/soak.sh): drives a running Calidra.exe through what it meets over
// weeks, each event waited for until it has taken effect, and reads what a process holds.
//
//   soak_driver.exe counters NAME   one line of counters (see ProcessCounters.h) per process of that name
//   soak_driver.exe rescans N       N resumes from sleep sent to the panel; each one's rescan opens the
//                                   virtual K1 again (sent in batches, as the worker takes them between
//                                   reports)
//   soak_driver.exe plugs N         N plug or unplug events of the virtual K1, alternately; after an unplug
//                                   the program has closed the display, after a plug it has opened it again
//
// Exit code: 0 done, 2 bad arguments, 3 something did not happen in time (the line says what).

#include "ProcessCounters.h"

#include "VirtualDisplayState.h"
#include "display/DisplayManager.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>

namespace {

constexpr int kBadArguments = 2;
constexpr int kNotInTime = 3;
constexpr wchar_t kPanelTitle[] = L"Kelvaro-DIG";
constexpr int kK1 = 0;
constexpr int kVendorCollection = 0;
// The worker takes queued commands between its steps; a batch stays well below its queue's capacity (256).
constexpr int kRescanBatch = 50;
constexpr DWORD kBatchWaitMs = 60000;
// An unplug is seen at the worker's next step, after its pause of up to a second.
constexpr DWORD kEventWaitMs = 10000;
constexpr DWORD kPollMs = 5;

bool WaitFor(const std::function<bool()>& done, DWORD ms) {
    const ULONGLONG deadline = ::GetTickCount64() + ms;
    while (!done()) {
        if (::GetTickCount64() >= deadline) {
            return false;
        }
        ::Sleep(kPollMs);
    }
    return true;
}

int Counters(const wchar_t* name) {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int found = 0;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        ProcessCounters counters;
        if (_wcsicmp(entry.szExeFile, name) == 0 && ReadProcessCounters(entry.th32ProcessID, &counters)) {
            PrintProcessCounters(stdout, name, counters);
            ++found;
        }
    }
    return found > 0 ? 0 : kNotInTime;
}

int32_t Opens(const vdisplay::State& state) {
    vdisplay::Guard guard(state);
    return state.Get()->displays[kK1].opensTotal[kVendorCollection];
}

int32_t OpenHandles(const vdisplay::State& state) {
    vdisplay::Guard guard(state);
    return state.Get()->displays[kK1].openHandles[kVendorCollection];
}

int Rescans(const vdisplay::State& state, int count) {
    const HWND panel = ::FindWindowW(nullptr, kPanelTitle);
    if (panel == nullptr) {
        std::printf("rescans: the panel's window was not found\n");
        return kNotInTime;
    }
    const ULONGLONG start = ::GetTickCount64();
    int done = 0;
    while (done < count) {
        const int batch = std::min(kRescanBatch, count - done);
        const int32_t before = Opens(state);
        for (int i = 0; i < batch; ++i) {
            ::PostMessageW(panel, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        }
        if (!WaitFor([&] { return Opens(state) - before >= batch; }, kBatchWaitMs)) {
            std::printf("rescans: %d of %d done, then a batch of %d opened the display only %d times\n", done,
                        count, batch, Opens(state) - before);
            return kNotInTime;
        }
        done += batch;
    }
    std::printf("rescans: %d, each reopened the display; %.1f s\n", done,
                static_cast<double>(::GetTickCount64() - start) / 1000.0);
    return 0;
}

int Plugs(vdisplay::State& state, int count) {
    const ULONGLONG start = ::GetTickCount64();
    for (int i = 0; i < count; ++i) {
        const bool plug = i % 2 == 1;
        state.SetPlugged(kK1, plug);
        const bool seen =
            WaitFor([&] { return plug ? OpenHandles(state) > 0 : OpenHandles(state) == 0; }, kEventWaitMs);
        if (!seen) {
            std::printf("plugs: event %d (%s) was not followed by the program %s the display\n", i + 1,
                        plug ? "plug" : "unplug", plug ? "opening" : "closing");
            state.SetPlugged(kK1, true);
            return kNotInTime;
        }
    }
    // The soak goes on with the display plugged in.
    state.SetPlugged(kK1, true);
    WaitFor([&] { return OpenHandles(state) > 0; }, kEventWaitMs);
    std::printf("plugs: %d events, each followed by the program closing or opening the display; %.1f s\n",
                count, static_cast<double>(::GetTickCount64() - start) / 1000.0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return kBadArguments;
    }
    const std::wstring command = argv[1];
    if (command == L"counters") {
        return Counters(argv[2]);
    }
    const int count = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    if (count <= 0) {
        return kBadArguments;
    }
    vdisplay::State state;
    if (!state.Open()) {
        std::printf("the virtual display's state cannot be opened\n");
        return kNotInTime;
    }
    if (command == L"rescans") {
        return Rescans(state, count);
    }
    if (command == L"plugs") {
        return Plugs(state, count);
    }
    return kBadArguments;
}
