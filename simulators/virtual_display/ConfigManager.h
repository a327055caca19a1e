#pragma once

// The configuration manager's answers about the virtual collections, for hidapi's enumeration: the HID
// interface list (the system's interfaces, then the virtual collections that are ready), the interface's
// instance id, the collection's device node with its hardware ids (which carry "&MI_xx" for a display's
// interface number) and its parent, the USB interface, whose compatible ids say USB. Everything about other
// interfaces and nodes goes to the system's cfgmgr32.dll; what that lacks (wine 8 has no
// CM_Get_Device_Interface_PropertyW, and no interface list for HID) answers as Windows does for an unknown
// interface or for none at all.

#include <windows.h>

namespace vdisplay {

// What the stand-in answers in place of the system's cfgmgr32 function name (system: the module hidapi
// loaded as cfgmgr32.dll), or null for a function it leaves to the system.
[[nodiscard]] FARPROC ConfigManagerFunction(HMODULE system, const char* name) noexcept;

}  // namespace vdisplay
