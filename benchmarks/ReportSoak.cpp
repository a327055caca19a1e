// The report path soaked: the program's worker (its thread, display link and reports) sends COUNT temperature
// reports to the virtual K1 through the hidapi.dll beside this program, at a short pause, while the sensor
// feed moves. What the process holds is read in the process itself every tenth of the way: the bytes in use
// on all its heaps (a heap walk, exact to the byte), its committed private memory, its anonymous resident
// memory as Linux counts it, and its kernel handles. The growth per report is the slope of a straight line
// through the samples after the first (a warm-up); a leak of a few bytes per report shows.
//
//   report_soak.exe [COUNT] [PAUSE_MS]    (default 100000 reports, 1 ms pause after each)
//
// Exit code: 0 flat, 1 growth beyond the bounds, 3 the display or the sensor block could not be set up or the
// reports stopped.

#include "ProcessCounters.h"
#include "WorkerBench.h"

#include "VirtualDisplayState.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kK1 = 0;
constexpr int kDefaultCount = 100000;
constexpr DWORD kDefaultPauseMs = 1;
constexpr int kReportsPerStep = 10;
constexpr int kSamples = 10;
constexpr DWORD kPollMs = 20;
constexpr DWORD kStallMs = 30000;  // no new report for this long: the path is stuck
constexpr DWORD kMostHeaps = 256;
// Growth per report (slope) that still counts as flat; a leak of 100 bytes per report is 25 times this.
constexpr double kFlatBytesPerReport = 4.0;
constexpr long long kFlatHandles = 2;
constexpr int kSetupFailed = 3;
constexpr int kGrowth = 1;

struct Sample {
    int reports = 0;
    long long heapBytes = 0;     // busy bytes on every heap
    long long privateBytes = 0;  // committed private memory
    long long anonymousKib = 0;  // RssAnon
    long long handles = 0;
};

long long HeapBytesInUse() {
    HANDLE heaps[kMostHeaps];
    const DWORD count = ::GetProcessHeaps(kMostHeaps, heaps);
    long long busy = 0;
    for (DWORD i = 0; i < count && i < kMostHeaps; ++i) {
        if (!::HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                busy += static_cast<long long>(entry.cbData);
            }
        }
        ::HeapUnlock(heaps[i]);
    }
    return busy;
}

// RssAnon of this process as Linux counts it (through wine's Z: drive); -1 where there is no such file.
long long AnonymousResidentKib() {
    const UniqueFileHandle file(::CreateFileW(L"Z:\\proc\\self\\status", GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    char text[4096] = {};
    DWORD got = 0;
    if (!file || !::ReadFile(file.get(), text, sizeof(text) - 1, &got, nullptr)) {
        return -1;
    }
    const char* line = std::strstr(text, "RssAnon:");
    return line != nullptr ? std::strtoll(line + std::strlen("RssAnon:"), nullptr, 10) : -1;
}

int Reports(const vdisplay::State& state) {
    vdisplay::Guard guard(state);
    return state.Get()->displays[kK1].shown.reports;
}

Sample Measure(int reports) {
    Sample s;
    s.reports = reports;
    s.heapBytes = HeapBytesInUse();
    s.anonymousKib = AnonymousResidentKib();
    ProcessCounters counters;
    if (ReadProcessCounters(::GetCurrentProcessId(), &counters)) {
        s.privateBytes = static_cast<long long>(counters.privateBytes);
        s.handles = counters.handles;
    }
    return s;
}

Sample Take(int reports) {
    const Sample s = Measure(reports);
    std::printf(
        "  after %7d reports: heap in use %10lld B  private %8lld KiB  anonymous resident %7lld KiB  "
        "handles %4lld\n",
        s.reports, s.heapBytes, s.privateBytes / 1024, s.anonymousKib, s.handles);
    std::fflush(stdout);
    return s;
}

// Least-squares slope of value over reports.
template <typename Value>
double Slope(const std::vector<Sample>& samples, Value value) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Sample& s : samples) {
        const double x = s.reports, y = static_cast<double>(value(s));
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    return d != 0 ? (n * sxy - sx * sy) / d : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(kSamples * kReportsPerStep, std::atoi(argv[1])) : kDefaultCount;
    const DWORD pauseMs = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : kDefaultPauseMs;
    vdisplay::State state;
    SensorFeed feed;
    if (!state.Open() || !feed.Open()) {
        std::printf("report soak: the virtual display or the sensor block is not available\n");
        return kSetupFailed;
    }
    state.Reset();
    state.SetPlugged(kK1, true);
    feed.Set(40.0f, 10.0f);
    ::Sleep(vdisplay::kDefaultArrivalDelayMs + 50);  // the collections are ready

    std::printf(
        "report soak: %d reports to the virtual K1, %lu ms pause, %d worker steps per round of its loop\n",
        count, pauseMs, kReportsPerStep);
    // The first readings load and allocate what reading needs: twice before anything counts.
    static_cast<void>(Measure(0));
    static_cast<void>(Measure(0));
    BenchWorker worker(pauseMs, kReportsPerStep);
    worker.link.QueueCommand(WorkerCommand::kRescan);
    if (!worker.Start()) {
        return kSetupFailed;
    }
    std::vector<Sample> samples;
    samples.reserve(kSamples + 1);  // no allocation of its own between the samples
    const ULONGLONG began = ::GetTickCount64();
    int next = count / kSamples;  // the first sample ends the warm-up
    int last = 0;
    ULONGLONG lastChange = began;
    for (int value = 0;; ++value) {
        // The feed moves: every report carries another reading.
        feed.Set(static_cast<float>(30 + value % 60), static_cast<float>(value % 100));
        ::Sleep(kPollMs);
        const int reports = Reports(state);
        if (reports != last) {
            last = reports;
            lastChange = ::GetTickCount64();
        } else if (::GetTickCount64() - lastChange > kStallMs) {
            std::printf("report soak: no report for %lu ms after %d reports\n", kStallMs, reports);
            return kSetupFailed;
        }
        if (reports >= next) {
            samples.push_back(Take(reports));
            next += count / kSamples;
        }
        if (reports >= count) {
            break;
        }
    }
    worker.Stop();
    const double seconds = static_cast<double>(::GetTickCount64() - began) / 1000.0;
    const double heap = Slope(samples, [](const Sample& s) { return s.heapBytes; });
    const double priv = Slope(samples, [](const Sample& s) { return s.privateBytes; });
    const double anon = Slope(samples, [](const Sample& s) { return s.anonymousKib * 1024; });
    const long long handles = samples.back().handles - samples.front().handles;
    const bool flat = heap <= kFlatBytesPerReport && priv <= kFlatBytesPerReport && handles <= kFlatHandles;
    std::printf("report soak: %d reports in %.0f s (%.0f a second), %zu samples after the warm-up\n", last,
                seconds, last / seconds, samples.size());
    std::printf(
        "growth per report: heap in use %+.3f B, private %+.3f B, anonymous resident %+.3f B "
        "(flat: at most %.0f B each for the heap and private memory); handles %+lld\n",
        heap, priv, anon, kFlatBytesPerReport, handles);
    std::printf("report soak: %s\n", flat ? "flat" : "GROWTH");
    return flat ? 0 : kGrowth;
}
