// Hot-plug against the virtual display: who is told of a plug-in, in what order the USB device and its HID
// collections arrive, what the program's probe and rescans make of that, and the refresh that follows.

#include "VirtualDisplayFixture.h"

#include "VirtualDevices.h"

#include "TestSupport.h"

#include <dbt.h>

#include <string>
#include <vector>

using testing_support::RunProcess;

namespace display_tests {
namespace {

constexpr GUID kUsbDeviceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kDiskClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr GUID kHidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr GUID kNetworkClass = {0xAD498944, 0x762F, 0x11D0, {0x8D, 0xCB, 0x00, 0xC0, 0x4F, 0xC3, 0x35, 0x8C}};

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

// A top-level window that records the device-interface broadcasts it receives and, if given a link, hands
// them on as the main window does.
class NotificationWindow {
  public:
    struct Event {
        WPARAM event;
        GUID interfaceClass;
        std::wstring name;
        size_t queued;  // commands waiting in the link's queue after the broadcast
        int present;    // the link's display-present flag after it
        int found;      // what onArrival reported
    };

    explicit NotificationWindow(DisplayLink* link = nullptr) : link_(link) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"HotPlugTestWindow";
        ::RegisterClassW(&wc);
        window_.reset(::CreateWindowExW(0, wc.lpszClassName, L"hot-plug", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                        nullptr, nullptr, wc.hInstance, nullptr));
        ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    NotificationWindow(const NotificationWindow&) = delete;
    NotificationWindow& operator=(const NotificationWindow&) = delete;

    [[nodiscard]] HWND hwnd() const { return window_.get(); }
    // Registers for one interface class (flags 0) or for all of them.
    HDEVNOTIFY RegisterFor(const GUID& interfaceClass, DWORD flags = DEVICE_NOTIFY_WINDOW_HANDLE) const {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = interfaceClass;
        return ::RegisterDeviceNotificationW(hwnd(), &filter, flags);
    }

    std::vector<Event> events;
    std::function<int(WPARAM event)> onArrival;  // run after the link has seen an arrival

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<NotificationWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != WM_DEVICECHANGE || !self) {
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
        const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
        if (broadcast && broadcast->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            Event e{wParam, broadcast->dbcc_classguid, broadcast->dbcc_name, 0, 0, -1};
            if (self->link_) {
                self->link_->OnDeviceChange(wParam, lParam);
                e.queued = self->link_->Queue().Size();
                e.present = self->link_->Facts().present.load();
            }
            if (self->onArrival && wParam == DBT_DEVICEARRIVAL) {
                e.found = self->onArrival(wParam);
            }
            self->events.push_back(e);
        }
        return 0;
    }

    DisplayLink* link_;  // not owned
    UniqueWindow window_;
};

TEST_P(VirtualDisplay, OnlyWindowsRegisteredForTheInterfaceClassAreNotified) {
    struct Case {
        const char* what;
        std::function<void(NotificationWindow&)> registration;
        size_t arrivals;  // of the USB device and its two HID collections
    };
    const Case cases[] = {
        {"the program's registration",
         [](NotificationWindow& w) { ASSERT_TRUE(DisplayManager::RegisterDisplayNotifications(w.hwnd())); },
         3},
        {"never registered", [](NotificationWindow&) {}, 0},
        {"disk and network adapter only",
         [](NotificationWindow& w) {
             ASSERT_NE(w.RegisterFor(kDiskClass), nullptr);
             ASSERT_NE(w.RegisterFor(kNetworkClass), nullptr);
         },
         0},
        {"HID only", [](NotificationWindow& w) { ASSERT_NE(w.RegisterFor(kHidClass), nullptr); }, 2},
        {"all interface classes",
         [](NotificationWindow& w) {
             ASSERT_NE(w.RegisterFor(kDiskClass, DEVICE_NOTIFY_ALL_INTERFACE_CLASSES), nullptr);
         },
         3},
        {"registered and unregistered again",
         [](NotificationWindow& w) {
             HDEVNOTIFY usb = w.RegisterFor(kUsbDeviceClass);
             HDEVNOTIFY hid = w.RegisterFor(kHidClass);
             ASSERT_TRUE(::UnregisterDeviceNotification(usb));
             ASSERT_TRUE(::UnregisterDeviceNotification(hid));
         },
         0},
    };
    std::vector<std::unique_ptr<NotificationWindow>> windows;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        windows.push_back(std::make_unique<NotificationWindow>());
        ASSERT_NE(windows.back()->hwnd(), nullptr);
        c.registration(*windows.back());
    }

    // Each broadcast reaches the registered windows one after the other, in the order they registered: once a
    // window registered last for every class has all three, every other window has all it is going to get.
    NotificationWindow last;
    ASSERT_NE(last.RegisterFor(kDiskClass, DEVICE_NOTIFY_ALL_INTERFACE_CLASSES), nullptr);

    state_.SetPlugged(kK1, true);
    ASSERT_TRUE(PumpUntil([&] { return last.events.size() == 3; }));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        ASSERT_EQ(windows[i]->events.size(), cases[i].arrivals);
        for (const NotificationWindow::Event& e : windows[i]->events) {
            EXPECT_EQ(e.event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
            // Each broadcast carries its interface's class.
            const bool usb = e.name.rfind(L"\\\\?\\USB#", 0) == 0;
            EXPECT_TRUE(::IsEqualGUID(e.interfaceClass, usb ? kUsbDeviceClass : kHidClass)) << e.name.c_str();
        }
    }
}

TEST_P(VirtualDisplay, ProbeAcceptsOnlyAReadyVendorCollection) {
    const std::wstring vendorK1 = Wide(vdisplay::kInterfaces[2].path);
    // Plugged in with an arrival delay that no test outlasts, then again without one.
    state_.SetArrivalDelay(vdisplay::kLongestDelayMs);
    state_.SetPlugged(kK1, true);
    EXPECT_FALSE(DisplayManager::ProbeDisplayInterface(vendorK1.c_str()))
        << "before the collections are ready";
    state_.SetPlugged(kK1, false);
    state_.SetArrivalDelay(0);
    state_.SetPlugged(kK1, true);
    struct Case {
        const char* what;
        std::wstring path;
        bool display;
    };
    const Case cases[] = {
        {"K1's vendor collection", vendorK1, true},
        {"the same path in upper case",
         L"\\\\?\\HID#VID_1A2C&PID_4C84&MI_00#8&2B1D4C84&0&0000#{4D1E55B2-F16F-11CF-"
         L"88CB-001111000030}",
         true},
        {"K1's other collection", Wide(vdisplay::kInterfaces[1].path), false},
        {"the pointer, kept by the system", Wide(vdisplay::kInterfaces[0].path), false},
        {"K1's USB device", vdisplay::kUsbDeviceNames[kK1], false},
        {"K2, not plugged", Wide(vdisplay::kInterfaces[3].path), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayManager::ProbeDisplayInterface(c.path.c_str()), c.display) << c.what;
    }
    // Refused by the system, or held by another program: the probe asks for read and write access.
    for (uint32_t fault : {vdisplay::kFaultOpen, vdisplay::kFaultExclusive}) {
        state_.SetFaults(kK1, fault);
        EXPECT_FALSE(DisplayManager::ProbeDisplayInterface(vendorK1.c_str())) << "fault " << fault;
    }
    state_.SetFaults(kK1, 0);
    state_.SetPlugged(kK1, false);
    EXPECT_FALSE(DisplayManager::ProbeDisplayInterface(vendorK1.c_str())) << "pulled out";
}

TEST_P(VirtualDisplay, TheDisplaysOwnCollectionQueuesTwoRescansUnderTheRealArrivalOrder) {
    // The collections are held back until the USB device's broadcast has been handled.
    state_.SetArrivalDelay(vdisplay::kLongestDelayMs);
    LinkWorker idle(0);  // never started: the queue keeps what the broadcasts asked for
    DisplayLink& link = idle.link;
    NotificationWindow window(&link);
    ASSERT_TRUE(DisplayManager::RegisterDisplayNotifications(window.hwnd()));
    // What a rescan right after each arrival would find.
    window.onArrival = [&](WPARAM) {
        manager_.RescanDisplays(facts_);
        return manager_.Count();
    };

    state_.SetPlugged(kK1, true);
    ASSERT_TRUE(PumpUntil([&] { return window.events.size() == 1; }));
    const std::vector<NotificationWindow::Event>& e = window.events;
    // The USB device first: one rescan, which cannot find the display yet.
    EXPECT_NE(e[0].name.find(L"USB#VID_1A2C&PID_4C84"), std::wstring::npos);
    EXPECT_EQ(e[0].queued, 1u);
    EXPECT_EQ(e[0].found, 0);
    // Then the HID collections, identifiers in lower case: the other one queues one rescan, the display's own
    // vendor collection passes the probe and queues two.
    state_.CompleteArrival(kK1);
    ASSERT_TRUE(PumpUntil([&] { return window.events.size() == 3; }));
    EXPECT_NE(e[1].name.find(L"vid_1a2c&pid_4c84&mi_01"), std::wstring::npos);
    EXPECT_EQ(e[1].queued, 2u);
    EXPECT_NE(e[2].name.find(L"vid_1a2c&pid_4c84&mi_00"), std::wstring::npos);
    EXPECT_EQ(e[2].queued, 4u);
    EXPECT_EQ(e[2].found, 1);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_FALSE(link.RunStep(idle).has_value());
    }
    EXPECT_EQ(link.Facts().present.load(), 1);

    // Pulled out: the collections leave before the USB device, each clearing present and queuing a rescan.
    state_.SetPlugged(kK1, false);
    ASSERT_TRUE(PumpUntil([&] { return window.events.size() == 6; }));
    EXPECT_NE(e[3].name.find(L"mi_00"), std::wstring::npos);
    EXPECT_NE(e[4].name.find(L"mi_01"), std::wstring::npos);
    EXPECT_NE(e[5].name.find(L"USB#"), std::wstring::npos);
    for (size_t i = 3; i < 6; ++i) {
        EXPECT_EQ(e[i].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
        EXPECT_EQ(e[i].present, 0);
        EXPECT_EQ(e[i].queued, i - 2);
    }
}

TEST_P(VirtualDisplay, PlugAndUnplugFromAnotherProcessDriveTheRefresh) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(48.0f, 12.0f);
    state_.SetArrivalDelay(vdisplay::kDefaultArrivalDelayMs);
    LinkWorker worker(50);
    NotificationWindow window(&worker.link);
    ASSERT_TRUE(DisplayManager::RegisterDisplayNotifications(window.hwnd()));
    worker.link.QueueCommand(WorkerCommand::kRescan);  // the start-up rescan: nothing plugged yet
    ASSERT_TRUE(worker.Start());

    // Plugged in by the control program, as a script would.
    const std::wstring control = ControlProgram();
    const auto plug = RunProcess(control + L" plug K1");
    ASSERT_TRUE(plug.finished);
    ASSERT_EQ(plug.exitCode, 0u);
    ASSERT_TRUE(PumpUntil([&] { return Slot(kK1).shown.reports >= 2; }));
    EXPECT_EQ(window.events.size(), 3u);
    EXPECT_EQ(worker.link.Facts().present.load(), 1);
    EXPECT_EQ(Slot(kK1).shown.value, 48);

    state_.SetPlugged(kK1, false);
    ASSERT_TRUE(PumpUntil([&] { return window.events.size() == 6; }));
    // The refresh stopped with the first removal, before any rescan ran.
    EXPECT_EQ(window.events[3].present, 0);
    ASSERT_TRUE(PumpUntil([&] { return worker.link.Queue().Size() == 0; }));
    EXPECT_EQ(worker.link.Facts().present.load(), 0);
    const int reports = Slot(kK1).shown.reports;
    const int steps = worker.steps.load();
    ASSERT_TRUE(PumpUntil([&] { return worker.steps.load() >= steps + 3; }));
    EXPECT_EQ(Slot(kK1).shown.reports, reports);
    EXPECT_TRUE(worker.Stop());
}

}  // namespace
}  // namespace display_tests
