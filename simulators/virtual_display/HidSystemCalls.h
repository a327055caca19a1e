#pragma once

// The Windows HID calls (hid.dll's HidD_* and HidP_* functions) answered for the virtual collections as
// Windows would, everything else passed on to the system's hid.dll:
//
// - HidD_GetAttributes, HidD_GetPreparsedData, the strings and HidD_SetNumInputBuffers work on a collection's
//   handle of any access while its display is plugged in, and fail with ERROR_DEVICE_NOT_CONNECTED once it
//   was pulled out. The preparsed data is the stand-in's own; HidP_GetCaps reads it and
//   HidD_FreePreparsedData releases it. A display that refuses its product string (fault `product`) fails
//   HidD_GetProductString with ERROR_GEN_FAILURE. The displays have no serial number:
//   HidD_GetSerialNumberString fails.
// - HidD_SetFeature and HidD_GetFeature are the feature report requests of OverlappedIo.h, waited for.
// - HidD_GetInputReport and HidD_GetIndexedString fail with ERROR_INVALID_FUNCTION: the virtual devices
// answer
//   neither request.
//
// The stand-in hid.dll exports these under hid.dll's names; the stand-in hidapi.dll puts them in place of the
// program's own imports of them.

#include <windows.h>

// The HID headers have no C linkage of their own.
extern "C" {
#include <hidsdi.h>
}

namespace vdisplay::hidcalls {

void NTAPI GetHidGuid(LPGUID guid);
BOOLEAN NTAPI GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes);
BOOLEAN NTAPI GetSerialNumberString(HANDLE handle, PVOID buffer, ULONG length);
BOOLEAN NTAPI GetManufacturerString(HANDLE handle, PVOID buffer, ULONG length);
BOOLEAN NTAPI GetProductString(HANDLE handle, PVOID buffer, ULONG length);
BOOLEAN NTAPI SetFeature(HANDLE handle, PVOID report, ULONG length);
BOOLEAN NTAPI GetFeature(HANDLE handle, PVOID report, ULONG length);
BOOLEAN NTAPI GetInputReport(HANDLE handle, PVOID report, ULONG length);
BOOLEAN NTAPI GetIndexedString(HANDLE handle, ULONG index, PVOID buffer, ULONG length);
BOOLEAN NTAPI GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data);
BOOLEAN NTAPI FreePreparsedData(PHIDP_PREPARSED_DATA data);
NTSTATUS NTAPI GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps);
BOOLEAN NTAPI SetNumInputBuffers(HANDLE handle, ULONG count);

}  // namespace vdisplay::hidcalls

namespace vdisplay {

// Takes over module's imports of the calls on a file handle (CreateFileW, CloseHandle, DeviceIoControl,
// CancelIo, ReadFile, WriteFile), which the virtual collections answer and everything else passes on.
void InstallFileCalls(HMODULE module) noexcept;
// Takes over module's file calls and its imports of hid.dll's functions.
void InstallHidSystemCalls(HMODULE module) noexcept;

}  // namespace vdisplay
