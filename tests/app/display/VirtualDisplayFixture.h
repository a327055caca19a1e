#pragma once

// What the tests against the virtual display share: the fixture (a reset virtual display, its log), the
// sensor block as the server writes it, and the worker as the main window wires it.
//
// The tests run against both stand-ins, one executable each: the stand-in hidapi.dll, or the real hidapi.dll
// over the stand-in hid.dll, whichever lies beside the executable. The suites are parameterised by the one
// this process has loaded.

#include "display/DisplayLink.h"
#include "display/DisplayManager.h"
#include "display/ThreadBasic.h"

#include "TestSupport.h"
#include "Wait.h"
#include "VirtualDisplayState.h"

#include <gtest/gtest.h>

#include <hidapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

namespace display_tests {

using testing_support::WaitUntil;

inline constexpr int kK1 = 0;
inline constexpr int kK2 = 1;

enum class StandIn {
    kHidapi,  // the stand-in hidapi.dll
    kHid,     // the real hidapi.dll over the stand-in hid.dll
};

// The stand-in this process runs over: the stand-in hid.dll lies beside the executable, the system's does
// not.
inline StandIn LoadedStandIn() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(L"hid.dll"), path, MAX_PATH);
    const std::wstring hid(path);
    const std::wstring dir = testing_support::TestDir();
    return _wcsnicmp(hid.c_str(), dir.c_str(), dir.size()) == 0 ? StandIn::kHid : StandIn::kHidapi;
}

// The virtual display's control program as the first word of a command line: built into virtual_display/ of
// the build tree, two folders above the tests that run over the stand-ins.
inline std::wstring ControlProgram() {
    return testing_support::Quote(testing_support::TestDir() +
                                  L"..\\..\\virtual_display\\VirtualDisplayCtl.exe");
}

// How the tests are named: "Over/VirtualDisplay.FindsAK2Alone/hid".
inline void PrintTo(StandIn standIn, std::ostream* out) {
    *out << (standIn == StandIn::kHid ? "hid" : "hidapi");
}

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

class VirtualDisplay : public ::testing::TestWithParam<StandIn> {
  protected:
    VirtualDisplay() : VirtualDisplay(false) {}
    // The state is reset before the manager first initialises hidapi, so that a test can start without the
    // HID library.
    explicit VirtualDisplay(bool withoutHidLibrary) : ready_(Prepare(withoutHidLibrary)) {}
    void SetUp() override { ASSERT_TRUE(ready_); }
    void TearDown() override { state_.Reset(); }

    [[nodiscard]] bool OverHidLayer() const { return GetParam() == StandIn::kHid; }
    // The length the stand-in is handed for a feature report of `length` bytes sent to a collection whose
    // report is `report` bytes: the program's own by the stand-in hidapi.dll, hidapi's padded one beneath it.
    [[nodiscard]] size_t HandedLength(size_t length, size_t report) const {
        return OverHidLayer() ? std::max(length, report) : length;
    }

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
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = testing_support::kGiveUpMs) {
        return WaitUntil(done, timeoutMs, testing_support::WhileWaiting::PumpMessages);
    }

    vdisplay::State state_;

  private:
    // Collections are ready at the plug-in unless a test wants the real arrival order.
    bool Prepare(bool withoutHidLibrary) {
        if (!state_.Open()) {
            return false;
        }
        state_.Reset();
        state_.SetArrivalDelay(0);
        if (withoutHidLibrary) {
            state_.SetInitFails(true);
            hid_exit();  // whatever an earlier test of this process initialised
        }
        return true;
    }

    bool ready_;

  protected:
    DisplayManager& manager_ = DisplayManager::Instance();
    DisplayFacts facts_;

  private:
    double frequency_ = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
};

// A process that starts on a system without a usable HID library.
class VirtualDisplayWithoutHidLibrary : public VirtualDisplay {
  protected:
    VirtualDisplayWithoutHidLibrary() : VirtualDisplay(true) {}
};

inline TemperatureReport Report(float cpu, float second) {
    return BuildTemperatureReport(cpu, second, kLightOn, 0);
}

}  // namespace display_tests
