#include "DeviceNotifications.h"

#include "ImportPatch.h"
#include "VirtualDevices.h"
#include "win/Handle.h"

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace vdisplay {

namespace {

constexpr UINT kDeliveryTimeoutMs = 5000;

struct Registration {
    HDEVNOTIFY handle;
    HWND window;
    GUID interfaceClass;
    bool allClasses;
};

std::mutex g_registrationsMutex;
std::vector<Registration> g_registrations;

// What this process has announced of each display so far.
struct Announced {
    int32_t plugged = 0;
    int32_t serial = 0;
    bool hidPending = false;  // the USB device has arrived, its HID collections not yet
    bool hidArrived = false;
    int64_t readyTicks = 0;
};
Announced g_announced[kDisplayCount];
HANDLE g_notify = nullptr;  // owned for the process's life

HDEVNOTIFY WINAPI RegisterHook(HANDLE recipient, LPVOID filter, DWORD flags) {
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
    const bool interfaceFilter = header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
    // Windows refuses an interface filter shorter than the structure.
    if (interfaceFilter && header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) {
        ::SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    HDEVNOTIFY handle = ::RegisterDeviceNotificationW(recipient, filter, flags);
    if (handle && interfaceFilter && (flags & DEVICE_NOTIFY_SERVICE_HANDLE) == 0) {
        const auto* wanted = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(filter);
        std::lock_guard lock(g_registrationsMutex);
        g_registrations.push_back(Registration{handle, static_cast<HWND>(recipient), wanted->dbcc_classguid,
                                               (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0});
    }
    return handle;
}

BOOL WINAPI UnregisterHook(HDEVNOTIFY handle) {
    {
        std::lock_guard lock(g_registrationsMutex);
        std::erase_if(g_registrations, [&](const Registration& r) { return r.handle == handle; });
    }
    return ::UnregisterDeviceNotification(handle);
}

void Broadcast(const std::wstring& name, const GUID& interfaceClass, WPARAM event) {
    std::vector<HWND> recipients;
    {
        std::lock_guard lock(g_registrationsMutex);
        for (const Registration& r : g_registrations) {
            if (r.allClasses || ::IsEqualGUID(r.interfaceClass, interfaceClass)) {
                recipients.push_back(r.window);
            }
        }
    }
    if (recipients.empty()) {
        return;
    }
    const size_t size =
        offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
    std::vector<unsigned char> buffer(size, 0);
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
    broadcast->dbcc_size = static_cast<DWORD>(size);
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    broadcast->dbcc_classguid = interfaceClass;
    std::memcpy(broadcast->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    for (HWND window : recipients) {
        if (::IsWindow(window)) {
            DWORD_PTR result = 0;
            ::SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(broadcast),
                                  SMTO_NORMAL | SMTO_ABORTIFHUNG, kDeliveryTimeoutMs, &result);
        }
    }
}

void AnnounceUsbDevice(int display, WPARAM event) {
    Broadcast(kUsbDeviceNames[display], kUsbDeviceClass, event);
}

void AnnounceCollections(int display, WPARAM event) {
    std::vector<std::wstring> names;
    for (const Interface& iface : kInterfaces) {
        if (iface.display == display) {
            names.emplace_back(iface.path, iface.path + std::strlen(iface.path));
        }
    }
    if (event == DBT_DEVICEREMOVECOMPLETE) {
        std::reverse(names.begin(), names.end());
    }
    for (const std::wstring& name : names) {
        Broadcast(name, kHidInterfaceClass, event);
    }
}

// Milliseconds until the next collections become ready, or INFINITE.
DWORD NextDueMs(int64_t frequency) {
    DWORD wait = INFINITE;
    const int64_t now = Now();
    for (const Announced& a : g_announced) {
        if (a.hidPending) {
            const int64_t ms = a.readyTicks > now ? (a.readyTicks - now) * 1000 / frequency + 1 : 0;
            wait = std::min<DWORD>(wait, static_cast<DWORD>(ms));
        }
    }
    return wait;
}

DWORD WINAPI WatchPlugging(void*) {
    // Not the block's: a reset clears it for a moment.
    const int64_t frequency = TicksPerSecond();
    for (;;) {
        if (::WaitForSingleObject(g_notify, NextDueMs(frequency)) == WAIT_FAILED) {
            return 0;
        }
        DisplaySlot slots[kDisplayCount];
        {
            Guard guard(Shared());
            std::memcpy(slots, Shared().Get()->displays, sizeof(slots));
        }
        for (int d = 0; d < kDisplayCount; ++d) {
            Announced& a = g_announced[d];
            const bool was = a.plugged != 0;
            const bool now = slots[d].plugged != 0;
            const bool replugged = was && now && slots[d].plugSerial != a.serial;
            if (was && (!now || replugged)) {
                if (a.hidArrived) {
                    AnnounceCollections(d, DBT_DEVICEREMOVECOMPLETE);
                }
                AnnounceUsbDevice(d, DBT_DEVICEREMOVECOMPLETE);
                a.hidPending = a.hidArrived = false;
            }
            if (now && (!was || replugged)) {
                AnnounceUsbDevice(d, DBT_DEVICEARRIVAL);
                a.hidPending = true;
                a.readyTicks = slots[d].readyTicks;
            }
            a.plugged = slots[d].plugged;
            a.serial = slots[d].plugSerial;
            if (a.hidPending) {
                a.readyTicks = slots[d].readyTicks;  // an arrival cut short
            }
            if (a.hidPending && Now() >= a.readyTicks) {
                a.hidPending = false;
                a.hidArrived = true;
                AnnounceCollections(d, DBT_DEVICEARRIVAL);
            }
        }
    }
}

}  // namespace

void StartDeviceNotifications(HMODULE host) noexcept {
    ReplaceImport(host, "user32.dll", "RegisterDeviceNotificationW", reinterpret_cast<void*>(&RegisterHook));
    ReplaceImport(host, "user32.dll", "UnregisterDeviceNotification",
                  reinterpret_cast<void*>(&UnregisterHook));
    g_notify = Shared().Listen();
    {
        // Displays plugged in before this process started have arrived already; collections still on their
        // way arrive here too.
        Guard guard(Shared());
        const int64_t now = Now();
        for (int d = 0; d < kDisplayCount; ++d) {
            const DisplaySlot& slot = Shared().Get()->displays[d];
            Announced& a = g_announced[d];
            a.plugged = slot.plugged;
            a.serial = slot.plugSerial;
            a.readyTicks = slot.readyTicks;
            a.hidArrived = slot.plugged != 0 && CollectionsReady(slot, now);
            a.hidPending = slot.plugged != 0 && !a.hidArrived;
        }
    }
    if (g_notify) {
        const UniqueHandle watcher(::CreateThread(nullptr, 0, &WatchPlugging, nullptr, 0, nullptr));
    }
}

}  // namespace vdisplay
