// Runs the display worker against one virtual display for a while, changing the CPU temperature in the sensor
// block now and then, and prints the report period and the delay from a change to the first report that
// shows it. A bare loop with the worker's pacing (a 1000 ms and a 16 ms sleep) runs alongside as the
// baseline.
//
//   display_refresh_bench.exe [SECONDS]   (default 60)

#include "display/DisplayLink.h"
#include "display/ThreadBasic.h"
#include "sensors/SensorSnapshot.h"

#include "VirtualDisplayState.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

class BenchWorker : public CThreadBasic {
  public:
    ~BenchWorker() override { StopAndJoin(); }
    DisplayLink link;

  protected:
    void Step() noexcept override { static_cast<void>(link.RunStep(*this)); }
};

int64_t Now() {
    LARGE_INTEGER t{};
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

struct Stats {
    size_t n = 0;
    double median = 0, p99 = 0, max = 0;
};

Stats Summarise(std::vector<double> values) {
    Stats s;
    s.n = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    s.p99 = values[std::min(values.size() - 1, static_cast<size_t>(values.size() * 0.99))];
    s.max = values.back();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    const double ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

    vdisplay::State state;
    if (!state.Open()) {
        std::fprintf(stderr, "the virtual display is not available\n");
        return 1;
    }
    state.Reset();
    state.SetPlugged(0, true);

    UniqueHandle mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              kSensorBlockSize, kSensorBlockName));
    UniqueMapView view(mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, kSensorBlockSize)
                               : nullptr);
    if (!view) {
        std::fprintf(stderr, "the sensor block cannot be mapped\n");
        return 1;
    }
    auto* block = static_cast<unsigned char*>(view.get());
    auto setTemperature = [&](float celsius) {
        const float second = 10.0f;
        std::memcpy(block + kSecondReadingOffset, &second, sizeof(second));
        std::memcpy(block + kCpuTemperatureOffset, &celsius, sizeof(celsius));
    };
    setTemperature(40.0f);

    std::atomic<bool> baselineRunning{true};
    std::vector<int64_t> baselineTicks;
    std::thread baseline([&] {
        while (baselineRunning) {
            baselineTicks.push_back(Now());
            ::Sleep(1000);
            ::Sleep(16);
        }
    });

    BenchWorker worker;
    worker.link.QueueCommand(kCommandRescan);
    if (!worker.Start()) {
        std::fprintf(stderr, "the worker did not start\n");
        return 1;
    }

    struct Change {
        int64_t ticks;
        int value;
    };
    std::vector<Change> changes;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(1700, 3300);
    const int64_t end = Now() + static_cast<int64_t>(seconds * 1000.0 * ticksPerMs);
    int value = 40;
    ::Sleep(1500);  // let the first rescan and report happen
    while (Now() < end) {
        value = value >= 89 ? 41 : value + 1;
        setTemperature(static_cast<float>(value));
        changes.push_back({Now(), value});
        ::Sleep(static_cast<DWORD>(pause(random)));
    }
    worker.Stop();
    baselineRunning = false;
    baseline.join();

    auto log = std::make_unique<vdisplay::Block>();
    state.Copy(log.get());
    struct Report {
        int64_t ticks;
        int value;
    };
    std::vector<Report> reports;
    const int first = log->logCount > vdisplay::kLogCapacity ? log->logCount - vdisplay::kLogCapacity + 1 : 1;
    for (int seq = first; seq <= log->logCount; ++seq) {
        const vdisplay::LogEntry& e = log->log[(seq - 1) % vdisplay::kLogCapacity];
        if (e.display == 0) {
            reports.push_back({e.ticks, e.raw[1] * 100 + e.raw[2] * 10 + e.raw[3]});
        }
    }

    std::vector<double> periods;
    for (size_t i = 1; i < reports.size(); ++i) {
        periods.push_back(static_cast<double>(reports[i].ticks - reports[i - 1].ticks) / ticksPerMs);
    }
    std::vector<double> bare;
    for (size_t i = 1; i < baselineTicks.size(); ++i) {
        bare.push_back(static_cast<double>(baselineTicks[i] - baselineTicks[i - 1]) / ticksPerMs);
    }
    std::vector<double> latencies;
    size_t missed = 0;
    for (const Change& c : changes) {
        const auto it = std::find_if(reports.begin(), reports.end(), [&](const Report& r) {
            return r.ticks >= c.ticks && r.value == c.value;
        });
        if (it == reports.end()) {
            ++missed;
        } else {
            latencies.push_back(static_cast<double>(it->ticks - c.ticks) / ticksPerMs);
        }
    }

    const Stats p = Summarise(periods);
    const Stats b = Summarise(bare);
    const Stats l = Summarise(latencies);
    std::printf("display refresh, one virtual display, %d s\n", seconds);
    std::printf("report period (ms):             n=%zu median=%.1f p99=%.1f max=%.1f\n", p.n, p.median, p.p99,
                p.max);
    std::printf("bare 1000+16 ms loop (ms):      n=%zu median=%.1f p99=%.1f max=%.1f\n", b.n, b.median, b.p99,
                b.max);
    std::printf("period / bare loop (median):    %.3f\n", b.median > 0 ? p.median / b.median : 0.0);
    std::printf("change to first report (ms):    n=%zu median=%.1f p99=%.1f max=%.1f (not shown: %zu)\n", l.n,
                l.median, l.p99, l.max, missed);
    return 0;
}
