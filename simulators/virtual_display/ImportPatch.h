#pragma once

// Takes over functions that a module imports, by rewriting its import address table: how the virtual display
// sees the device-notification registrations and HID probes of the program that loaded it.

#include <windows.h>

namespace vdisplay {

// Points module's import of function from dll (any letter case) at replacement. Returns the address it
// replaced, or null if module does not import that function by name.
void* ReplaceImport(HMODULE module, const char* dll, const char* function, void* replacement) noexcept;

}  // namespace vdisplay
