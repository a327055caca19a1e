#pragma once

// The state shared by the virtual display (a stand-in hidapi.dll), its control program, its viewer, tests and
// benchmarks: what is plugged in, each display's firmware version, injected faults and transfer time, how
// long after the USB device its HID collections appear, what each display shows now, and a log of every
// feature report transfer.
//
// It lives in the named file mapping "CalidraVirtualDisplay_state", backed by the file
// %ProgramData%\CalidraVirtualDisplay.state so that settings made before the program starts survive, and is
// guarded by the named mutex "CalidraVirtualDisplay_lock". Each process that has loaded the virtual display
// registers its id in the listener table and waits on the auto-reset event
// "CalidraVirtualDisplay_notify_<pid>"; whoever plugs or unplugs a display sets every listener's event.

#include "win/Handle.h"

#include <windows.h>

#include <cstdint>

namespace vdisplay {

inline constexpr int kDisplayCount = 2;    // 0 = K1, 1 = K2
inline constexpr int kInterfaceCount = 2;  // 0 = the vendor collection, 1 = another usage page
inline constexpr int kLogCapacity = 4096;  // the newest reports; older ones are overwritten
inline constexpr int kListenerCapacity = 32;
inline constexpr size_t kRawBytes = 8;  // report bytes 0-7 kept per report
// Windows announces a plugged display's USB device interface first; its HID collections can be opened (and
// are announced) only a moment later.
inline constexpr int kDefaultArrivalDelayMs = 200;
inline constexpr int kLongestDelayMs = 600000;  // bound for the arrival delay and the transfer time

enum Fault : uint32_t {
    kFaultSend = 1,           // every feature report sent to the display fails
    kFaultProduct = 2,        // the product string is refused
    kFaultOpen = 4,           // the system refuses every open of the display's collections
    kFaultWrongReportId = 8,  // the first reply to each firmware query carries report ID 6
    kFaultGet = 16,           // reading a feature report fails
    kFaultExclusive = 32,     // another program holds the display: opens to read or write it fail
};

// What a logged transfer was.
enum Transfer : int32_t {
    kTransferReport = 1,  // a feature report sent to the display, other than the firmware query
    kTransferQuery = 2,   // the firmware-version query sent (byte 1 = 0xFD)
    kTransferGet = 3,     // a feature report read
};

// What a display shows, decoded from its latest temperature report.
struct Shown {
    int32_t reports;  // temperature reports received since the last reset
    int32_t valid;    // 1 if every digit was 0-9, the level 0-10, the unit flag 0 or 1 and bytes 8-64 were 0
    int32_t lightOn;  // 0 when bytes 1-7 were all 0
    int32_t value;    // the three digits as a number (hundreds * 100 + tens * 10 + units)
    int32_t level;    // 0-10
    int32_t fahrenheit;  // the unit flag
    int32_t second;      // the second reading's three digits as a number
    int32_t reserved;
    int64_t ticks;  // QueryPerformanceCounter when it arrived
    uint8_t raw[kRawBytes];
};

struct DisplaySlot {
    int32_t plugged;
    int32_t plugSerial;      // counts plug-ins; a handle opened before an unplug stays dead
    int32_t firmware;        // answered to the 0xFD query, high byte first
    uint32_t faults;         // Fault bits
    int32_t transferMs;      // how long each feature report transfer takes
    int32_t wrongIdPending;  // with kFaultWrongReportId: the next reply carries report ID 6
    int64_t readyTicks;      // QueryPerformanceCounter from which the HID collections can be opened
    int32_t openHandles[kInterfaceCount];
    int32_t opensTotal[kInterfaceCount];
    int32_t failedSends;  // sends refused because the display is gone or a fault says so
    int32_t queries;      // firmware-version queries received
    Shown shown;
};

// One feature report transfer, logged when it ended (failed ones too).
struct LogEntry {
    int64_t ticks;
    int32_t sequence;  // 1-based, counts every transfer since the last reset
    int32_t display;   // 0 = K1, 1 = K2
    int32_t kind;      // Transfer
    int32_t length;    // the caller's buffer length
    int32_t wire;      // bytes that travelled: the collection's report length, 0 if the transfer failed
    int32_t result;    // what the hidapi call returned
    uint8_t raw[kRawBytes];
};

struct Block {
    uint32_t magic;
    uint32_t size;
    int32_t initFails;       // hid_init fails while set
    int32_t arrivalDelayMs;  // from a plug-in to its HID collections
    int64_t frequency;       // QueryPerformanceFrequency, to turn ticks into time
    DisplaySlot displays[kDisplayCount];
    uint32_t listeners[kListenerCapacity];
    int32_t logCount;        // transfers logged since the last reset: those that ended
    int32_t transfersBegun;  // transfers begun since the last reset, the ones under way too
    LogEntry log[kLogCapacity];
};

[[nodiscard]] const wchar_t* DisplayName(int display) noexcept;    // "K1", "K2"
[[nodiscard]] int ParseDisplayName(const wchar_t* text) noexcept;  // 0, 1, or -1

// Decodes report bytes (length of them present, the rest counted as 0) into shown.
void DecodeTemperatureReport(const unsigned char* data, size_t length, Shown* shown) noexcept;

// QueryPerformanceCounter: the clock of the log and of the collections' readiness.
[[nodiscard]] int64_t Now() noexcept;
// Its ticks per second. The same as the block's frequency, without the lock that a reset of the block needs.
[[nodiscard]] int64_t TicksPerSecond() noexcept;

// Whether a plugged display's HID collections can be opened at QueryPerformanceCounter now.
[[nodiscard]] inline bool CollectionsReady(const DisplaySlot& slot, int64_t now) noexcept {
    return slot.plugged != 0 && now >= slot.readyTicks;
}

// The logged transfers with sequence number from or later that the ring still holds, oldest first.
template <typename Visit>
void ForEachLogged(const Block& block, int32_t from, Visit&& visit) {
    const int32_t oldest = block.logCount > kLogCapacity ? block.logCount - kLogCapacity + 1 : 1;
    for (int32_t seq = from > oldest ? from : oldest; seq <= block.logCount; ++seq) {
        visit(block.log[(seq - 1) % kLogCapacity]);
    }
}

// A process's view of the shared state.
class State {
  public:
    State() noexcept = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // Creates or opens the shared state (a fresh one has nothing plugged). False if it cannot be mapped.
    [[nodiscard]] bool Open() noexcept;

    // The mapped block; every access between Lock and Unlock.
    [[nodiscard]] Block* Get() const noexcept { return block_; }
    void Lock() const noexcept;
    void Unlock() const noexcept;

    // Unplugs everything, clears faults, shown states and the log; firmware, arrival delay and transfer
    // times back to the defaults.
    void Reset() noexcept;
    // A plug-in makes the display's HID collections ready after the arrival delay.
    void SetPlugged(int display, bool plugged) noexcept;
    // Makes a plugged display's HID collections ready now, cutting its arrival delay short: a test holds the
    // collections back with a long delay and lets them arrive once it has seen what comes before.
    void CompleteArrival(int display) noexcept;
    void SetFirmware(int display, int version) noexcept;
    void SetFaults(int display, uint32_t faults) noexcept;
    void SetInitFails(bool fails) noexcept;
    void SetArrivalDelay(int ms) noexcept;
    void SetTransferTime(int display, int ms) noexcept;
    // A consistent copy of everything.
    void Copy(Block* out) const noexcept;

    // Adds this process to the listeners and returns its notification event (owned by the caller).
    [[nodiscard]] HANDLE Listen() noexcept;

  private:
    void InitializeLocked() noexcept;
    void NotifyListenersLocked() noexcept;

    UniqueHandle mutex_;
    UniqueHandle mapping_;
    UniqueMapView view_;
    Block* block_ = nullptr;  // not owned: the view
};

class Guard {
  public:
    explicit Guard(const State& state) noexcept : state_(state) { state_.Lock(); }
    ~Guard() { state_.Unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

  private:
    const State& state_;
};

}  // namespace vdisplay
