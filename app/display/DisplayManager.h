#pragma once

// The list of open temperature displays: discovery through hidapi, hot-plug handling, and the two reports
// that travel to a display (the temperature report and the firmware-version query).
//
// Enumerate, CloseAll, the filters, the records, SendReportToAll and QueryFirmwareVersion belong to the
// worker thread. Count may be read from any thread. OnDeviceInterfaceChange runs on the UI thread and touches
// only the display facts and the command queue.

#include "display/CommandQueue.h"
#include "display/TemperatureReport.h"
#include "win/HidHandles.h"

#include "common/Product.h"

#include <windows.h>
#include <dbt.h>

#include <hidapi.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

inline constexpr unsigned short kDisplayVendorId = 0x1A2C;
inline constexpr unsigned short kProductIdK1 = 0x4C84;
inline constexpr unsigned short kProductIdK2 = 0x4D84;
inline constexpr unsigned short kDisplayUsagePage = 0xFF01;
inline constexpr unsigned short kDisplayUsage = 0x0001;
// The firmware query goes out as 64 bytes (hidapi pads it to the display's 65-byte feature report). Its reply
// is read into a buffer that holds the whole 65-byte report: Windows fails a feature report read into a
// buffer shorter than the collection's report.
inline constexpr size_t kFirmwareQuerySize = 64;
inline constexpr size_t kFirmwareReplySize = kTemperatureReportSize;
inline constexpr unsigned char kFirmwareQueryCode = 0xFD;

// What the main window knows about the displays. Written by the worker (rescan) and the UI thread (removal),
// read by both.
struct DisplayFacts {
    std::atomic<int> present{0};  // a rescan found a display and no removal came since
    std::atomic<int> model{0};    // model tag of the first display found (kModelK1 or kModelK2)
};

struct DisplayFilter {
    unsigned short vendorId = kDisplayVendorId;
    unsigned short productId = 0;
    std::wstring name;  // not used in matching
    int modelTag = 0;
};

inline constexpr size_t kDevicePathSize = 1024;
inline constexpr size_t kProductTextSize = 512;

struct DisplayRecord {
    int index = 0;  // number of displays in the list when this one was added
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    char path[kDevicePathSize] = {};  // NUL-terminated, cut to fit
    std::wstring productText;         // empty if the device refused it
    UniqueHidDevice device;
    unsigned short releaseNumber = 0;
    int modelTag = 0;
};

class DisplayManager {
  public:
    // The single manager, created on first use. Creating it initialises hidapi.
    [[nodiscard]] static DisplayManager& Instance() noexcept;

    DisplayManager(const DisplayManager&) = delete;
    DisplayManager& operator=(const DisplayManager&) = delete;

    void ClearFilters() noexcept;
    void AddFilter(unsigned short productId, const wchar_t* name, int modelTag) noexcept;

    // Closes every display and empties the list, if the list is valid.
    void CloseAll() noexcept;
    // Opens the vendor interface of every device that matches a filter and appends it to the list.
    // Empty while hidapi cannot be initialised (it is tried again each time).
    void Enumerate() noexcept;
    // WorkerCommand::kRescan: clear present, reopen every display, then set present and the model if any was
    // found.
    void RescanDisplays(DisplayFacts& facts) noexcept;

    [[nodiscard]] int Count() const noexcept { return count_.load(); }
    // The record at position i in enumeration order, or null.
    [[nodiscard]] const DisplayRecord* Record(int i) const noexcept;

    // Sends the report to every open display, ignoring failures. False only while the list is not valid.
    bool SendReportToAll(const TemperatureReport& report) noexcept;

    // Asks the first display for its firmware version (high byte first). False if there is no display, the
    // request is refused, or no reply can be read.
    [[nodiscard]] bool QueryFirmwareVersion(int* version) noexcept;

    // Asks Windows to send device-interface arrivals and removals (USB device, disk, HID, network adapter) to
    // window. True if all four registrations succeeded.
    static bool RegisterDisplayNotifications(HWND window) noexcept;

    // A device-interface arrival (DBT_DEVICEARRIVAL) or removal (DBT_DEVICEREMOVECOMPLETE) whose name carries
    // a display's identifiers: an arrival of the display's own interface queues two rescans, of any other of
    // its interfaces one; a removal clears present at once and queues one. The name is read no further than
    // the broadcast's size field allows. True when the name carried a display's identifiers.
    static bool OnDeviceInterfaceChange(const DEV_BROADCAST_DEVICEINTERFACE_W* broadcast, WPARAM event,
                                        DisplayFacts& facts, CommandQueue& queue) noexcept;

    // Whether the device interface at path is a display's vendor collection (opened with the Windows HID
    // functions directly).
    [[nodiscard]] static bool ProbeDisplayInterface(const wchar_t* path) noexcept;

  private:
    DisplayManager() noexcept;
    ~DisplayManager();

    bool EnsureHid() noexcept;
    [[nodiscard]] const DisplayFilter* FindFilter(unsigned short vendorId,
                                                  unsigned short productId) const noexcept;

    bool hidReady_ = false;
    bool listValid_ = false;
    std::vector<std::unique_ptr<DisplayRecord>> displays_;
    std::vector<DisplayFilter> filters_;
    std::atomic<int> count_{0};
};
