#pragma once

// What the tests against the virtual display share: the fixture (a reset virtual display, its log), the
// sensor block as the server writes it, and the worker as the main window wires it. This executable loads the
// virtual display as its hidapi.dll.

#include "display/DisplayLink.h"
#include "display/DisplayManager.h"
#include "display/ThreadBasic.h"

#include "TestSupport.h"
#include "Wait.h"
#include "VirtualDisplayState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace display_tests {

using testing_support::WaitUntil;

inline constexpr int kK1 = 0;
inline constexpr int kK2 = 1;

// Holds the sensor block open for writing, as the sensor server does.
class SensorBlock {
  public:
    SensorBlock() {
        mapping_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kSensorBlockSize, kSensorBlockName));
        if (mapping_) {
            view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, kSensorBlockSize));
        }
    }
    [[nodiscard]] bool ok() const { return view_.valid(); }
    void Set(float cpu, float second) {
        auto* bytes = static_cast<unsigned char*>(view_.get());
        std::memcpy(bytes + kCpuTemperatureOffset, &cpu, sizeof(cpu));
        std::memcpy(bytes + kSecondReadingOffset, &second, sizeof(second));
    }

  private:
    UniqueHandle mapping_;
    UniqueMapView view_;
};

// The worker as the main window wires it: CThreadBasic's step runs DisplayLink's step. steps counts the
// steps done, so a test can tell that the loop went round without doing something.
class LinkWorker : public CThreadBasic {
  public:
    explicit LinkWorker(DWORD refreshPauseMs) : link(refreshPauseMs) {}
    ~LinkWorker() override { StopAndJoin(); }
    DisplayLink link;
    std::atomic<int> steps{0};

  protected:
    void Step() noexcept override {
        static_cast<void>(link.RunStep(*this));
        ++steps;
    }
};

class VirtualDisplay : public ::testing::Test {
  protected:
    // Collections are ready at the plug-in unless a test wants the real arrival order.
    void SetUp() override {
        ASSERT_TRUE(state_.Open());
        state_.Reset();
        state_.SetArrivalDelay(0);
    }
    void TearDown() override { state_.Reset(); }

    std::unique_ptr<vdisplay::Block> Copy() {
        auto block = std::make_unique<vdisplay::Block>();
        state_.Copy(block.get());
        return block;
    }
    vdisplay::DisplaySlot Slot(int display) { return Copy()->displays[display]; }
    [[nodiscard]] int32_t LogCount() { return Copy()->logCount; }
    // The transfers logged after the first `after` ones.
    std::vector<vdisplay::LogEntry> LoggedSince(int32_t after) {
        const auto block = Copy();
        std::vector<vdisplay::LogEntry> entries;
        vdisplay::ForEachLogged(*block, after + 1,
                                [&](const vdisplay::LogEntry& e) { entries.push_back(e); });
        return entries;
    }
    [[nodiscard]] double Milliseconds(int64_t ticks) {
        return static_cast<double>(ticks) * 1000.0 / frequency_;
    }

    // For tests with a window: keeps its messages flowing while waiting. (Message calls in a process without
    // a window would make wine start a desktop process, which can outlive the test.)
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000) {
        return WaitUntil(done, timeoutMs, testing_support::WhileWaiting::PumpMessages);
    }

    vdisplay::State state_;
    DisplayManager& manager_ = DisplayManager::Instance();
    DisplayFacts facts_;

  private:
    double frequency_ = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
};

inline TemperatureReport Report(float cpu, float second) {
    return BuildTemperatureReport(cpu, second, kLightOn, 0);
}

}  // namespace display_tests
