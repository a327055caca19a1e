#pragma once

// Device-interface arrivals and removals as Windows delivers them: WM_DEVICECHANGE with DBT_DEVICEARRIVAL or
// DBT_DEVICEREMOVECOMPLETE and a DEV_BROADCAST_DEVICEINTERFACE_W that carries the interface's class GUID and
// name, sent only to the windows registered with RegisterDeviceNotificationW for that class (or for all
// classes), once per registration.
//
// A plug-in announces the display's USB device interface at once and its HID collections when they become
// ready (the arrival delay later); a pull-out announces the HID collections that had arrived, then the USB
// device. Broadcasts go out from a thread of the stand-in.

#include <windows.h>

namespace vdisplay {

// Takes over host's imports of RegisterDeviceNotificationW and UnregisterDeviceNotification, which keep
// working as before while the stand-in records the registrations, and starts the thread that watches the
// shared state. The shared state must be open.
void StartDeviceNotifications(HMODULE host) noexcept;

}  // namespace vdisplay
