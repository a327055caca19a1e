#pragma once

// The display worker as the program runs it, for the benchmarks that drive it in their own process
// (DisplayRefreshBench, ReportSoak): the worker thread with its display link, whose step also reads the
// display status as the main window's step does, and the sensor block, written by the benchmark itself
// through the sensor server's own writer.

#include "display/DisplayLink.h"
#include "display/ThreadBasic.h"
#include "sensors/SensorSnapshot.h"

#include "SensorBlockWriter.h"

#include <string>

class BenchWorker : public CThreadBasic {
  public:
    // reportsPerStep: worker steps taken in each round of the loop, before its 16 ms pause (1 as in the
    // program; more to take many reports through the same path quickly).
    explicit BenchWorker(DWORD refreshPauseMs = DisplayLink::kRefreshPauseMs, int reportsPerStep = 1) noexcept
        : link(refreshPauseMs), reportsPerStep_(reportsPerStep) {}
    ~BenchWorker() override { StopAndJoin(); }
    DisplayLink link;

  protected:
    void Step() noexcept override {
        for (int i = 0; i < reportsPerStep_; ++i) {
            static_cast<void>(link.RunStep(*this));
        }
        static_cast<void>(link.Status());
    }

  private:
    const int reportsPerStep_;
};

// The sensor server's block, created (or opened) and written by the benchmark as the sensor server writes it.
class SensorFeed {
  public:
    [[nodiscard]] bool Open() {
        std::string error;
        return writer_.Open(&error);
    }
    void Set(float celsius, float second) noexcept {
        writer_.Write(kSecondReadingOffset, second);
        writer_.Write(kCpuTemperatureOffset, celsius);
    }

  private:
    SensorBlockWriter writer_;
};
