// Runs the display worker against one virtual display and prints, each beside a bare baseline measured in the
// same run:
// - the report period and the delay from a CPU temperature change to the first report that shows it, with
//   instant transfers (a bare loop with the worker's pacing, a 1000 ms and a 16 ms sleep, runs alongside);
// - the report period and the time Stop takes with 5 ms transfers, as a real display answers (beside a bare
//   thread that sleeps 16 ms in a loop and is stopped by a flag).
//
//   display_refresh_bench.exe [SECONDS]   (default 60: the first part; the second takes a third of it)

#include "WorkerBench.h"

#include "VirtualDisplayState.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kDisplay = 0;         // K1
constexpr int kSlowTransferMs = 5;  // a real display's feature report round trip
constexpr int kStopSamples = 25;

double g_ticksPerMs = 1.0;

double Ms(int64_t ticks) {
    return static_cast<double>(ticks) / g_ticksPerMs;
}

// With a few dozen samples a high percentile is the largest one: the largest is printed as what it is.
struct Stats {
    size_t n = 0;
    double median = 0, max = 0;
};

Stats Summarise(std::vector<double> values) {
    Stats s;
    s.n = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    s.max = values.back();
    return s;
}

void Print(const char* what, const Stats& s) {
    std::printf("%-34s n=%zu median=%.1f max=%.1f\n", what, s.n, s.median, s.max);
}

std::vector<double> Periods(const std::vector<int64_t>& ticks) {
    std::vector<double> periods;
    for (size_t i = 1; i < ticks.size(); ++i) {
        periods.push_back(Ms(ticks[i] - ticks[i - 1]));
    }
    return periods;
}

struct Report {
    int64_t ticks;
    int value;
};

// The temperature reports K1 received since the transfer with sequence number `after`.
std::vector<Report> ReportsSince(const vdisplay::State& state, int32_t after) {
    auto block = std::make_unique<vdisplay::Block>();
    state.Copy(block.get());
    std::vector<Report> reports;
    vdisplay::ForEachLogged(*block, after + 1, [&](const vdisplay::LogEntry& e) {
        if (e.display == kDisplay && e.kind == vdisplay::kTransferReport && e.wire > 0) {
            reports.push_back({e.ticks, e.raw[1] * 100 + e.raw[2] * 10 + e.raw[3]});
        }
    });
    return reports;
}

int32_t LogCount(const vdisplay::State& state) {
    vdisplay::Guard guard(state);
    return state.Get()->logCount;
}

// A thread with the worker's pacing and nothing else, recording when each round starts.
class BareLoop {
  public:
    explicit BareLoop(DWORD pauseMs)
        : thread_([this, pauseMs] {
              while (running_) {
                  ticks_.push_back(vdisplay::Now());
                  ::Sleep(pauseMs);
                  ::Sleep(CThreadBasic::kLoopPeriodMs);
              }
          }) {}
    // Stops it and returns how long that took, in ms.
    double Stop() {
        const int64_t start = vdisplay::Now();
        running_ = false;
        thread_.join();
        return Ms(vdisplay::Now() - start);
    }
    [[nodiscard]] const std::vector<int64_t>& Ticks() const { return ticks_; }

  private:
    std::atomic<bool> running_{true};
    std::vector<int64_t> ticks_;
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(6, std::atoi(argv[1])) : 60;
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    g_ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

    vdisplay::State state;
    if (!state.Open()) {
        std::fprintf(stderr, "the virtual display is not available\n");
        return 1;
    }
    state.Reset();
    state.SetPlugged(kDisplay, true);

    SensorFeed feed;
    if (!feed.Open()) {
        std::fprintf(stderr, "the sensor block cannot be mapped\n");
        return 1;
    }
    auto setTemperature = [&](float celsius) { feed.Set(celsius, 10.0f); };
    setTemperature(40.0f);
    ::Sleep(vdisplay::kDefaultArrivalDelayMs + 50);  // the collections are ready

    // First, instant transfers, with the temperature changing now and then.
    struct Change {
        int64_t ticks;
        int value;
    };
    std::vector<Change> changes;
    std::vector<Report> reports;
    std::vector<int64_t> bareTicks;
    {
        BareLoop bare(DisplayLink::kRefreshPauseMs);
        BenchWorker worker;
        worker.link.QueueCommand(WorkerCommand::kRescan);
        if (!worker.Start()) {
            std::fprintf(stderr, "the worker did not start\n");
            return 1;
        }
        std::mt19937 random(7);
        std::uniform_int_distribution<int> pause(1700, 3300);
        const int64_t end = vdisplay::Now() + static_cast<int64_t>(seconds * 1000.0 * g_ticksPerMs);
        int value = 40;
        ::Sleep(1500);  // let the first rescan and report happen
        while (vdisplay::Now() < end) {
            value = value >= 89 ? 41 : value + 1;
            setTemperature(static_cast<float>(value));
            changes.push_back({vdisplay::Now(), value});
            ::Sleep(static_cast<DWORD>(pause(random)));
        }
        worker.Stop();
        bare.Stop();
        bareTicks = bare.Ticks();
        reports = ReportsSince(state, 0);
    }
    std::vector<int64_t> reportTicks;
    for (const Report& r : reports) {
        reportTicks.push_back(r.ticks);
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
            latencies.push_back(Ms(it->ticks - c.ticks));
        }
    }
    const Stats p = Summarise(Periods(reportTicks));
    const Stats b = Summarise(Periods(bareTicks));
    const Stats l = Summarise(latencies);
    std::printf("display refresh, one virtual display, %d s\n", seconds);
    Print("report period (ms):", p);
    Print("bare 1000+16 ms loop (ms):", b);
    std::printf("period / bare loop (median):       %.3f\n", b.median > 0 ? p.median / b.median : 0.0);
    Print("change to first report (ms):", l);
    std::printf("changes not shown:                 %zu\n", missed);

    // Then 5 ms transfers: the period, and Stop at random moments of the cycle.
    state.SetTransferTime(kDisplay, kSlowTransferMs);
    const int slowSeconds = std::max(5, seconds / 3);
    std::vector<int64_t> slowBareTicks;
    int32_t before = LogCount(state);
    {
        BareLoop bare(DisplayLink::kRefreshPauseMs);
        BenchWorker worker;
        worker.link.QueueCommand(WorkerCommand::kRescan);
        if (!worker.Start()) {
            return 1;
        }
        ::Sleep(static_cast<DWORD>(slowSeconds) * 1000);
        worker.Stop();
        bare.Stop();
        slowBareTicks = bare.Ticks();
    }
    std::vector<int64_t> slowTicks;
    for (const Report& r : ReportsSince(state, before)) {
        slowTicks.push_back(r.ticks);
    }
    std::vector<double> stopTimes;
    std::vector<double> bareStopTimes;
    std::vector<bool> stoppedInTime;
    std::mt19937 random(11);
    std::uniform_int_distribution<int> moment(50, 1100);
    for (int i = 0; i < kStopSamples; ++i) {
        BareLoop bare(0);
        BenchWorker worker;
        worker.link.QueueCommand(WorkerCommand::kRescan);
        if (!worker.Start()) {
            return 1;
        }
        ::Sleep(static_cast<DWORD>(moment(random)));
        const int64_t start = vdisplay::Now();
        stoppedInTime.push_back(worker.Stop());
        stopTimes.push_back(Ms(vdisplay::Now() - start));
        bareStopTimes.push_back(bare.Stop());
    }
    const Stats sp = Summarise(Periods(slowTicks));
    const Stats sb = Summarise(Periods(slowBareTicks));
    std::printf("with %d ms transfers, %d s\n", kSlowTransferMs, slowSeconds);
    Print("report period (ms):", sp);
    Print("bare 1000+16 ms loop (ms):", sb);
    std::printf("period / bare loop (median):       %.3f\n", sb.median > 0 ? sp.median / sb.median : 0.0);
    Print("Stop (ms):", Summarise(stopTimes));
    Print("bare 16 ms loop, stopped (ms):", Summarise(bareStopTimes));
    char label[64];
    std::snprintf(label, sizeof(label), "Stop within its %lu ms bound:", CThreadBasic::kStopWaitMs);
    std::printf("%-34s %zu of %zu\n", label,
                static_cast<size_t>(std::count(stoppedInTime.begin(), stoppedInTime.end(), true)),
                stoppedInTime.size());
    return 0;
}
