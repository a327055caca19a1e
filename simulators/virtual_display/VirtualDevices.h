#pragma once

// The devices the virtual display emulates, as the Windows HID stack would present them, and the shared
// state every part of both stand-ins (hidapi.dll and hid.dll) uses.
//
// Each display is a composite USB device: its USB device interface, its vendor collection (usage page 0xFF01,
// usage 1) that takes the 65-byte feature report with ID 7, and a second collection with another usage page
// that has no feature reports. A pointer device of another vendor is always present.

#include "VirtualDisplayState.h"

#include <windows.h>

#include <cstdint>

namespace vdisplay {

struct Interface {
    int display;  // 0 K1, 1 K2, -1 the pointer device
    int number;   // 0 the vendor collection, 1 the other one
    unsigned short vendorId;
    unsigned short productId;
    unsigned short usagePage;
    unsigned short usage;
    // Report lengths with the report ID byte, as HidP_GetCaps gives them; 0 when there are none.
    unsigned short featureLength;
    unsigned short inputLength;
    const char* path;  // lower case, as the configuration manager lists it
    const wchar_t* product;
};

inline constexpr unsigned char kReportId = 0x07;
inline constexpr unsigned char kQueryCode = 0xFD;
inline constexpr unsigned short kVendorFeatureLength = 65;
inline constexpr unsigned short kReleaseNumber = 0x0100;
inline constexpr const wchar_t* kManufacturer = L"Kelvaro";

// Enumeration order: the pointer, K1's second interface before its vendor one, then K2.
inline constexpr Interface kInterfaces[] = {
    {-1, 0, 0x1209, 0x0001, 0x0001, 0x0002, 0, 5,
     "\\\\?\\hid#vid_1209&pid_0001#7&1f3e5a6b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Virtual Pointer"},
    {0, 1, 0x1A2C, 0x4C84, 0x000C, 0x0001, 0, 3,
     "\\\\?\\hid#vid_1a2c&pid_4c84&mi_01#8&3a7e4c84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K1"},
    {0, 0, 0x1A2C, 0x4C84, 0xFF01, 0x0001, kVendorFeatureLength, 0,
     "\\\\?\\hid#vid_1a2c&pid_4c84&mi_00#8&2b1d4c84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K1"},
    {1, 0, 0x1A2C, 0x4D84, 0xFF01, 0x0001, kVendorFeatureLength, 0,
     "\\\\?\\hid#vid_1a2c&pid_4d84&mi_00#8&2b1d4d84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K2"},
    {1, 1, 0x1A2C, 0x4D84, 0x000C, 0x0001, 0, 3,
     "\\\\?\\hid#vid_1a2c&pid_4d84&mi_01#8&3a7e4d84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K2"},
};

// The USB device interface that arrives before (and leaves after) the HID collections.
inline constexpr const wchar_t* kUsbDeviceNames[kDisplayCount] = {
    L"\\\\?\\USB#VID_1A2C&PID_4C84#VD0K1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
    L"\\\\?\\USB#VID_1A2C&PID_4D84#VD0K2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
};
inline constexpr GUID kUsbDeviceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The interface with that path (any letter case), or null.
[[nodiscard]] const Interface* FindInterface(const char* path) noexcept;
[[nodiscard]] const Interface* FindInterface(const wchar_t* path) noexcept;

// This process's view of the shared state; Ready is false if it could not be opened.
[[nodiscard]] State& Shared() noexcept;
[[nodiscard]] bool SharedReady() noexcept;

// Whether interface can be opened now: the pointer always, a display's collections once they are ready.
// Called with the lock held; *serial receives the display's plug serial.
[[nodiscard]] bool InterfacePresentLocked(const Interface& iface, int32_t* serial) noexcept;

}  // namespace vdisplay
