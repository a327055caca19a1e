// Discovery, reports, the firmware query, the worker and hot-plug against the virtual display, which this
// executable loads as its hidapi.dll.

#include "display/DisplayLink.h"
#include "display/DisplayManager.h"
#include "display/ThreadBasic.h"

#include "TestSupport.h"
#include "VirtualDisplayState.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using testing_support::Quote;
using testing_support::RunProcess;
using testing_support::TestDir;

namespace {

constexpr int kK1 = 0;
constexpr int kK2 = 1;

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

// The worker as the main window wires it: CThreadBasic's step runs DisplayLink's step.
class LinkWorker : public CThreadBasic {
  public:
    explicit LinkWorker(DWORD refreshPauseMs) : link(refreshPauseMs) {}
    ~LinkWorker() override {
        if (!Stop()) {
            Join();
        }
    }
    DisplayLink link;
    std::atomic<int> updateCommands{0};

  protected:
    void Step() noexcept override {
        if (link.RunStep(*this) != 0) {
            ++updateCommands;
        }
    }
};

class VirtualDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(state_.Open());
        state_.Reset();
    }
    void TearDown() override { state_.Reset(); }

    std::unique_ptr<vdisplay::Block> Copy() {
        auto block = std::make_unique<vdisplay::Block>();
        state_.Copy(block.get());
        return block;
    }
    vdisplay::DisplaySlot Slot(int display) { return Copy()->displays[display]; }

    static bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000) {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        while (!done()) {
            if (::GetTickCount64() > end) {
                return false;
            }
            ::Sleep(10);
        }
        return true;
    }

    // For tests with a window: keeps its messages flowing while waiting. (Message calls in a process without
    // a window would make wine start a desktop process, which can outlive the test.)
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000) {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        while (!done()) {
            if (::GetTickCount64() > end) {
                return false;
            }
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }

    vdisplay::State state_;
    DisplayManager& manager_ = DisplayManager::Instance();
    DisplayFacts facts_;
};

TemperatureReport Report(float cpu, float second) {
    return BuildTemperatureReport(cpu, second, kLightOn, 0);
}

TEST_F(VirtualDisplay, FindsAK1AloneAndSkipsItsOtherInterface) {
    state_.SetPlugged(kK1, true);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.present.load(), 1);
    EXPECT_EQ(facts_.model.load(), kModelK1);
    const DisplayRecord* record = manager_.Record(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->index, 0);
    EXPECT_EQ(record->vendorId, kDisplayVendorId);
    EXPECT_EQ(record->productId, kProductIdK1);
    EXPECT_EQ(record->modelTag, kModelK1);
    EXPECT_EQ(record->productText, L"Kelvaro-DIG K1");
    EXPECT_NE(std::string(record->path).find("mi_00"), std::string::npos);
    const vdisplay::DisplaySlot slot = Slot(kK1);
    EXPECT_EQ(slot.openHandles[0], 1);
    EXPECT_EQ(slot.opensTotal[1], 1);   // the second interface was opened ...
    EXPECT_EQ(slot.openHandles[1], 0);  // ... and closed again
}

TEST_F(VirtualDisplay, FindsAK2Alone) {
    state_.SetPlugged(kK2, true);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.model.load(), kModelK2);
    EXPECT_EQ(manager_.Record(0)->productId, kProductIdK2);
    EXPECT_EQ(manager_.Record(0)->productText, L"Kelvaro-DIG K2");
}

TEST_F(VirtualDisplay, SendsToBothDisplaysAndTakesTheModelOfTheFirst) {
    state_.SetPlugged(kK2, true);
    state_.SetPlugged(kK1, true);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 2);
    EXPECT_EQ(facts_.model.load(), kModelK1);
    EXPECT_EQ(manager_.Record(1)->index, 1);
    EXPECT_TRUE(manager_.SendReportToAll(Report(45.0f, 37.0f)));
    for (int d : {kK1, kK2}) {
        const vdisplay::Shown shown = Slot(d).shown;
        EXPECT_EQ(shown.reports, 1);
        EXPECT_EQ(shown.valid, 1);
        EXPECT_EQ(shown.value, 45);
        EXPECT_EQ(shown.level, 4);
        EXPECT_EQ(shown.second, 37);
    }
    const auto block = Copy();
    ASSERT_EQ(block->logCount, 2);
    EXPECT_EQ(block->log[0].display, kK1);  // in list order
    EXPECT_EQ(block->log[1].display, kK2);

    // A rescan reopens rather than adds.
    manager_.RescanDisplays(facts_);
    EXPECT_EQ(manager_.Count(), 2);
    EXPECT_EQ(Slot(kK1).openHandles[0], 1);
    EXPECT_EQ(Slot(kK2).openHandles[0], 1);
}

TEST_F(VirtualDisplay, SkipsADisplayThatCannotBeOpened) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    state_.SetFaults(kK1, vdisplay::kFaultOpen);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.model.load(), kModelK2);
    EXPECT_EQ(manager_.Record(0)->index, 0);
}

TEST_F(VirtualDisplay, KeepsADisplayThatRefusesItsProductString) {
    state_.SetPlugged(kK1, true);
    state_.SetFaults(kK1, vdisplay::kFaultProduct);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_TRUE(manager_.Record(0)->productText.empty());
}

TEST_F(VirtualDisplay, WithoutTheHidLibraryFindsNothingAndTriesAgainLater) {
    state_.SetPlugged(kK1, true);
    state_.SetInitFails(true);
    facts_.present = 1;
    manager_.RescanDisplays(facts_);
    EXPECT_EQ(manager_.Count(), 0);
    EXPECT_EQ(facts_.present.load(), 0);
    int version = 0;
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));
    EXPECT_TRUE(manager_.SendReportToAll(Report(45.0f, 37.0f)));
    EXPECT_EQ(Slot(kK1).shown.reports, 0);

    state_.SetInitFails(false);
    manager_.RescanDisplays(facts_);
    EXPECT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.present.load(), 1);
}

TEST_F(VirtualDisplay, ADisplayPulledOutBeforeSendingDoesNotStopTheOthers) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    manager_.RescanDisplays(facts_);
    state_.SetPlugged(kK1, false);
    EXPECT_TRUE(manager_.SendReportToAll(Report(50.0f, 10.0f)));
    EXPECT_EQ(Slot(kK1).failedSends, 1);
    EXPECT_EQ(Slot(kK2).shown.value, 50);
    state_.SetFaults(kK2, vdisplay::kFaultSend);
    EXPECT_TRUE(manager_.SendReportToAll(Report(60.0f, 10.0f)));
    EXPECT_EQ(Slot(kK2).shown.value, 50);
}

TEST_F(VirtualDisplay, QueriesTheFirmwareVersionOfTheFirstDisplay) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    state_.SetFirmware(kK1, 0x0105);
    state_.SetFirmware(kK2, 0x0302);
    manager_.RescanDisplays(facts_);
    int version = 0;
    ASSERT_TRUE(manager_.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, 0x0105);
    EXPECT_EQ(Slot(kK1).queries, 1);
    EXPECT_EQ(Slot(kK2).queries, 0);
    EXPECT_EQ(Slot(kK1).shown.reports, 0);  // the query is not a temperature report
}

TEST_F(VirtualDisplay, ReadsTheVersionAgainAfterAWrongReportId) {
    state_.SetPlugged(kK2, true);
    state_.SetFirmware(kK2, 0x1234);
    state_.SetFaults(kK2, vdisplay::kFaultWrongReportId);
    manager_.RescanDisplays(facts_);
    int version = 0;
    ASSERT_TRUE(manager_.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, 0x1234);
}

TEST_F(VirtualDisplay, FailsTheQueryWhenTheDisplayRefusesOrIsMissing) {
    int version = -1;
    manager_.RescanDisplays(facts_);
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));

    state_.SetPlugged(kK1, true);
    manager_.RescanDisplays(facts_);
    state_.SetFaults(kK1, vdisplay::kFaultSend);
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));
    // The request was accepted but no reply can be read: the request must not pass for a version.
    state_.SetFaults(kK1, vdisplay::kFaultGet);
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, -1);
}

TEST_F(VirtualDisplay, RefreshShowsTheSnapshotInTheChosenUnitAndLight) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(45.9f, 37.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    link.Rescan();
    ASSERT_NE(link.Snapshot(), nullptr);
    ASSERT_EQ(link.Facts().present.load(), 1);

    ASSERT_TRUE(link.Refresh(worker));
    vdisplay::Shown shown = Slot(kK1).shown;
    EXPECT_EQ(shown.value, 45);
    EXPECT_EQ(shown.level, 4);
    EXPECT_EQ(shown.fahrenheit, 0);
    EXPECT_EQ(shown.second, 37);
    EXPECT_EQ(shown.lightOn, 1);

    link.SetUnit(1);
    ASSERT_TRUE(link.Refresh(worker));
    shown = Slot(kK1).shown;
    EXPECT_EQ(shown.value, 113);
    EXPECT_EQ(shown.fahrenheit, 1);

    link.SetLight(2);
    ASSERT_TRUE(link.Refresh(worker));
    shown = Slot(kK1).shown;
    EXPECT_EQ(shown.lightOn, 0);
    EXPECT_EQ(shown.raw[0], 0x07);
    EXPECT_EQ(shown.reports, 3);
}

TEST_F(VirtualDisplay, RefreshSendsNothingBeforeTheSnapshotIsMapped) {
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    manager_.RescanDisplays(link.Facts());  // a display, but no snapshot yet
    ASSERT_EQ(link.Facts().present.load(), 1);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_FALSE(link.Refresh(worker));
    EXPECT_EQ(Slot(kK1).shown.reports, 0);
}

TEST_F(VirtualDisplay, EachStepTakesOneCommandAndRescansComeBeforeTheNextRefresh) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(50.0f, 20.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    link.QueueCommand(kCommandRescan);
    link.QueueCommand(kCommandRescan);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(link.Queue().Size(), 1u);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(Slot(kK1).shown.reports, 0);
    EXPECT_EQ(link.RunStep(worker), 0);  // queue empty, display present: a refresh
    EXPECT_EQ(Slot(kK1).shown.reports, 1);

    // A K2 arrives: its rescan runs first, then the refresh reaches both.
    state_.SetPlugged(kK2, true);
    link.QueueCommand(kCommandRescan);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(Slot(kK2).shown.reports, 0);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(Slot(kK1).shown.reports, 2);
    EXPECT_EQ(Slot(kK2).shown.reports, 1);

    // Every command but the rescan is handed to the caller, one per step, in order.
    for (int command : {2, 3, 4, 9, -1, 5, 6, 7, 8}) {
        link.QueueCommand(command);
    }
    std::vector<int> handedOut;
    for (int i = 0; i < 9; ++i) {
        handedOut.push_back(link.RunStep(worker));
    }
    EXPECT_EQ(handedOut, (std::vector<int>{2, 3, 4, 9, -1, 5, 6, 7, 8}));
    EXPECT_EQ(link.Queue().Size(), 0u);
    EXPECT_EQ(Slot(kK1).shown.reports, 2);  // no refresh while commands waited
}

TEST_F(VirtualDisplay, TheWorkerRefreshesUntilStopped) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(61.0f, 5.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(DisplayLink::kRefreshPauseMs);
    worker.link.QueueCommand(kCommandRescan);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return Slot(kK1).shown.reports >= 1; }));
    EXPECT_EQ(Slot(kK1).shown.value, 61);
    // The worker is now inside its one-second pause; Stop ends it within its bound.
    EXPECT_TRUE(worker.Stop());
    const int reports = Slot(kK1).shown.reports;
    ::Sleep(200);
    EXPECT_EQ(Slot(kK1).shown.reports, reports);
}

// A real top-level window registered for device notifications, forwarding WM_DEVICECHANGE as the main window
// does and recording what arrived.
struct NotificationWindow {
    static inline DisplayLink* link = nullptr;  // not owned
    static inline std::vector<std::pair<WPARAM, std::wstring>> events;
    static inline int presentAtFirstRemoval = -1;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DEVICECHANGE) {
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            if (header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
                (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
                events.emplace_back(
                    wParam, reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam)->dbcc_name);
            }
            link->OnDeviceChange(wParam, lParam);
            if (wParam == DBT_DEVICEREMOVECOMPLETE && presentAtFirstRemoval < 0) {
                presentAtFirstRemoval = link->Facts().present.load();
            }
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    explicit NotificationWindow(DisplayLink& l) {
        link = &l;
        events.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"DisplayNotificationTest";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~NotificationWindow() { ::DestroyWindow(hwnd); }
    [[nodiscard]] size_t Count(WPARAM event) const {
        size_t n = 0;
        for (const auto& e : events) {
            n += e.first == event ? 1 : 0;
        }
        return n;
    }
    HWND hwnd = nullptr;
};

TEST_F(VirtualDisplay, PlugAndUnplugReachARegisteredWindowAndDriveTheRefresh) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(48.0f, 12.0f);
    LinkWorker worker(50);
    NotificationWindow window(worker.link);
    ASSERT_NE(window.hwnd, nullptr);
    ASSERT_TRUE(DisplayManager::RegisterDisplayNotifications(window.hwnd));
    ASSERT_TRUE(worker.Start());

    // Plugged in by the control program, as a script would.
    const std::wstring control = Quote(TestDir() + L"..\\..\\virtual_display\\VirtualDisplayCtl.exe");
    const auto plug = RunProcess(control + L" plug K1");
    ASSERT_TRUE(plug.finished);
    ASSERT_EQ(plug.exitCode, 0u);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(DBT_DEVICEARRIVAL) == 3; }));
    // The USB device and both HID interfaces; the HID names spell the identifiers in lower case.
    EXPECT_NE(window.events[0].second.find(L"USB#VID_1A2C&PID_4C84"), std::wstring::npos);
    EXPECT_NE(window.events[1].second.find(L"vid_1a2c&pid_4c84"), std::wstring::npos);
    ASSERT_TRUE(PumpUntil([&] { return Slot(kK1).shown.reports >= 2; }));
    EXPECT_EQ(worker.link.Facts().present.load(), 1);
    EXPECT_EQ(Slot(kK1).shown.value, 48);

    state_.SetPlugged(kK1, false);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(DBT_DEVICEREMOVECOMPLETE) == 3; }));
    EXPECT_EQ(NotificationWindow::presentAtFirstRemoval, 0);
    ASSERT_TRUE(PumpUntil([&] { return worker.link.Queue().Size() == 0; }));
    EXPECT_EQ(worker.link.Facts().present.load(), 0);
    const int reports = Slot(kK1).shown.reports;
    ::Sleep(200);
    EXPECT_EQ(Slot(kK1).shown.reports, reports);
    EXPECT_TRUE(worker.Stop());
}

TEST_F(VirtualDisplay, ControlProgramSetsFaultsAndPrintsState) {
    const std::wstring control = Quote(TestDir() + L"..\\..\\virtual_display\\VirtualDisplayCtl.exe");
    EXPECT_EQ(RunProcess(control + L" firmware K2 0x0307").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" fault K2 send,wrongid").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" initfail on").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" fault K2 bogus").exitCode, 2u);
    EXPECT_EQ(RunProcess(control + L" plug K3").exitCode, 2u);
    EXPECT_EQ(RunProcess(control + L" wait K1 1 50").exitCode, 4u);
    const vdisplay::DisplaySlot slot = Slot(kK2);
    EXPECT_EQ(slot.firmware, 0x0307);
    EXPECT_EQ(slot.faults, static_cast<uint32_t>(vdisplay::kFaultSend | vdisplay::kFaultWrongReportId));
    EXPECT_EQ(Copy()->initFails, 1);
    EXPECT_EQ(RunProcess(control + L" reset").exitCode, 0u);
    EXPECT_EQ(Slot(kK2).faults, 0u);
}

}  // namespace
