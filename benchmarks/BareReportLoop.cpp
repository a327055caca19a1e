// The baseline of the idle CPU benchmark (benchmarks/idle_cpu.py) with a display present: a bare loop with
// the worker's pacing (1000 ms, then 16 ms) that sends one temperature report to the K1 display each round,
// through the hidapi.dll beside it (the same one the program loads). The value moves each round, as a moving
// sensor feed moves it.
//
//   bare_report_loop.exe SECONDS
//
// Exit code: 0 done, 2 bad arguments, 3 no K1 display could be opened.

#include "win/HidHandles.h"

#include <windows.h>

extern "C" {
#include <hidsdi.h>
}
#include <hidapi.h>

#include <cstdlib>

namespace {

constexpr unsigned short kVendorId = 0x1A2C;
constexpr unsigned short kProductIdK1 = 0x4C84;
constexpr unsigned short kVendorUsagePage = 0xFF01;
constexpr size_t kReportSize = 65;
constexpr unsigned char kReportId = 7;
constexpr DWORD kPauseMs = 1000;
constexpr DWORD kLoopMs = 16;
constexpr int kBadArguments = 2;
constexpr int kNoDisplay = 3;

UniqueHidDevice OpenK1() {
    UniqueHidDevice device;
    const UniqueHidDeviceList devices(hid_enumerate(kVendorId, kProductIdK1));
    for (const hid_device_info* entry = devices.get(); entry != nullptr && !device; entry = entry->next) {
        if (entry->usage_page == kVendorUsagePage) {
            device.reset(hid_open_path(entry->path));
        }
    }
    return device;
}

}  // namespace

int main(int argc, char** argv) {
    const long seconds = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (seconds <= 0) {
        return kBadArguments;
    }
    // The program probes HID collections itself too; the call also loads hid.dll as the program does.
    GUID hidClass{};
    ::HidD_GetHidGuid(&hidClass);
    if (hid_init() != 0) {
        return kNoDisplay;
    }
    UniqueHidDevice display = OpenK1();
    if (!display) {
        hid_exit();
        return kNoDisplay;
    }
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    for (int round = 0; ::GetTickCount64() < end; ++round) {
        unsigned char report[kReportSize] = {kReportId};
        const int value = 40 + round % 40;
        report[1] = 0;
        report[2] = static_cast<unsigned char>(value / 10);
        report[3] = static_cast<unsigned char>(value % 10);
        report[4] = static_cast<unsigned char>((value / 10) << 4);
        static_cast<void>(hid_send_feature_report(display.get(), report, sizeof(report)));
        ::Sleep(kPauseMs);
        ::Sleep(kLoopMs);
    }
    display.reset();
    hid_exit();
    return 0;
}
