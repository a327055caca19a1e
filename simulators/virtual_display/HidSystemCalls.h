#pragma once

// The Windows HID calls a program makes beside hidapi (its own probe of a newly arrived interface): opening
// a collection by its interface path, HidD_GetAttributes, HidD_GetPreparsedData, HidP_GetCaps and
// HidD_FreePreparsedData answer for the virtual collections as Windows would, and pass everything else on.
//
// A collection opens only while its display is plugged and its collections are ready, not while the display
// refuses to be opened, and a pointer device never with read or write access (Windows keeps those to
// itself). The handle is a real kernel handle that CloseHandle releases; it dies with an unplug.

#include <windows.h>

namespace vdisplay {

// Takes over host's imports of CreateFileW, CloseHandle and the four HID functions.
void InstallHidSystemCalls(HMODULE host) noexcept;

}  // namespace vdisplay
