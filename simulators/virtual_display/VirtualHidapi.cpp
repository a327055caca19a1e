// A stand-in hidapi.dll that emulates the K1 and K2 temperature displays (see VirtualDisplayState.h for the
// shared state the control program sets). It has the exports of hidapi's Windows back end, so the program
// links and loads it exactly like the real one.
//
// Each display has two interfaces: the vendor collection (usage page 0xFF01, usage 1) that takes the feature
// reports, and a second one with another usage page. A pointer device of another vendor is always present.
// Plugging and unplugging reach the process as Windows delivers them: WM_DEVICECHANGE with DBT_DEVICEARRIVAL
// or DBT_DEVICEREMOVECOMPLETE and a DEV_BROADCAST_DEVICEINTERFACE_W, sent from a thread of this DLL to every
// top-level window of the process, one message per interface (the USB device and its two HID interfaces).
// The DLL is meant to be imported (never unloaded while the process runs).

#include "VirtualDisplayState.h"

#include <hidapi.h>
#include <hidapi_winapi.h>

#include <dbt.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using vdisplay::Block;
using vdisplay::DisplaySlot;
using vdisplay::Guard;

namespace {

struct Interface {
    int display;  // 0 K1, 1 K2, -1 the pointer device
    int number;   // 0 the vendor collection, 1 the other one
    unsigned short vendorId;
    unsigned short productId;
    unsigned short usagePage;
    unsigned short usage;
    const char* path;
    const wchar_t* product;
};

// Enumeration order: the pointer, K1's second interface before its vendor one, then K2.
const Interface kInterfaces[] = {
    {-1, 0, 0x1209, 0x0001, 0x0001, 0x0002,
     "\\\\?\\hid#vid_1209&pid_0001#7&1f3e5a6b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Virtual Pointer"},
    {0, 1, 0x1A2C, 0x4C84, 0x000C, 0x0001,
     "\\\\?\\hid#vid_1a2c&pid_4c84&mi_01#8&3a7e4c84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K1"},
    {0, 0, 0x1A2C, 0x4C84, 0xFF01, 0x0001,
     "\\\\?\\hid#vid_1a2c&pid_4c84&mi_00#8&2b1d4c84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K1"},
    {1, 0, 0x1A2C, 0x4D84, 0xFF01, 0x0001,
     "\\\\?\\hid#vid_1a2c&pid_4d84&mi_00#8&2b1d4d84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K2"},
    {1, 1, 0x1A2C, 0x4D84, 0x000C, 0x0001,
     "\\\\?\\hid#vid_1a2c&pid_4d84&mi_01#8&3a7e4d84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
     L"Kelvaro-DIG K2"},
};

// The USB device interface that arrives before (and leaves after) the HID interfaces.
const wchar_t* const kUsbDeviceNames[vdisplay::kDisplayCount] = {
    L"\\\\?\\USB#VID_1A2C&PID_4C84#VD0K1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
    L"\\\\?\\USB#VID_1A2C&PID_4D84#VD0K2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
};
constexpr GUID kUsbDeviceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

constexpr unsigned char kReportId = 0x07;
constexpr unsigned char kQueryCode = 0xFD;
constexpr size_t kReportSize = 65;

vdisplay::State g_state;
bool g_stateOpen = false;
HANDLE g_notify = nullptr;  // owned for the process's life
int32_t g_seenPlugged[vdisplay::kDisplayCount] = {};
int32_t g_seenSerial[vdisplay::kDisplayCount] = {};
std::atomic<const wchar_t*> g_lastError{L""};

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text; ++text) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    }
    return wide;
}

wchar_t* Duplicate(const wchar_t* text) {
    return _wcsdup(text);
}

const Interface* FindInterface(const char* path) noexcept {
    for (const Interface& iface : kInterfaces) {
        if (_stricmp(iface.path, path) == 0) {
            return &iface;
        }
    }
    return nullptr;
}

hid_device_info* MakeInfo(const Interface& iface) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (!info) {
        return nullptr;
    }
    info->path = _strdup(iface.path);
    info->vendor_id = iface.vendorId;
    info->product_id = iface.productId;
    info->serial_number = Duplicate(L"");
    info->release_number = 0x0100;
    info->manufacturer_string = Duplicate(L"Kelvaro");
    info->product_string = Duplicate(iface.product);
    info->usage_page = iface.usagePage;
    info->usage = iface.usage;
    info->interface_number = iface.display < 0 ? -1 : iface.number;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void FreeInfo(hid_device_info* info) {
    std::free(info->path);
    std::free(info->serial_number);
    std::free(info->manufacturer_string);
    std::free(info->product_string);
    std::free(info);
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// The top-level windows of this process, found thread by thread: unlike EnumWindows this never makes the
// system create a desktop for a process that has no window at all.
std::vector<HWND> OwnTopLevelWindows() {
    std::vector<HWND> windows;
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) {
        return windows;
    }
    const DWORD pid = ::GetCurrentProcessId();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == pid && entry.th32ThreadID != ::GetCurrentThreadId()) {
            ::EnumThreadWindows(entry.th32ThreadID, &CollectWindow, reinterpret_cast<LPARAM>(&windows));
        }
    }
    return windows;
}

void Broadcast(const std::wstring& name, const GUID& interfaceClass, WPARAM event) {
    const size_t size =
        offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
    std::vector<unsigned char> buffer(size, 0);
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
    broadcast->dbcc_size = static_cast<DWORD>(size);
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    broadcast->dbcc_classguid = interfaceClass;
    std::memcpy(broadcast->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    for (HWND window : OwnTopLevelWindows()) {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(broadcast),
                              SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &result);
    }
}

void DeliverPlugEvent(int display, WPARAM event) {
    std::vector<std::pair<std::wstring, const GUID*>> names;
    names.emplace_back(kUsbDeviceNames[display], &kUsbDeviceClass);
    for (const Interface& iface : kInterfaces) {
        if (iface.display == display) {
            names.emplace_back(Widen(iface.path), &kHidInterfaceClass);
        }
    }
    if (event == DBT_DEVICEARRIVAL) {
        for (const auto& [name, cls] : names) {
            Broadcast(name, *cls, event);
        }
    } else {
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            Broadcast(it->first, *it->second, event);
        }
    }
}

DWORD WINAPI WatchPlugging(void*) {
    for (;;) {
        if (::WaitForSingleObject(g_notify, INFINITE) != WAIT_OBJECT_0) {
            return 0;
        }
        int32_t plugged[vdisplay::kDisplayCount];
        int32_t serial[vdisplay::kDisplayCount];
        {
            Guard guard(g_state);
            for (int d = 0; d < vdisplay::kDisplayCount; ++d) {
                plugged[d] = g_state.Get()->displays[d].plugged;
                serial[d] = g_state.Get()->displays[d].plugSerial;
            }
        }
        for (int d = 0; d < vdisplay::kDisplayCount; ++d) {
            const bool was = g_seenPlugged[d] != 0;
            const bool now = plugged[d] != 0;
            const bool replugged = was && now && serial[d] != g_seenSerial[d];
            if (was && (!now || replugged)) {
                DeliverPlugEvent(d, DBT_DEVICEREMOVECOMPLETE);
            }
            if (now && (!was || replugged)) {
                DeliverPlugEvent(d, DBT_DEVICEARRIVAL);
            }
            g_seenPlugged[d] = plugged[d];
            g_seenSerial[d] = serial[d];
        }
    }
}

void StartWatching() noexcept {
    g_stateOpen = g_state.Open();
    if (!g_stateOpen) {
        return;
    }
    g_notify = g_state.Listen();
    {
        Guard guard(g_state);
        for (int d = 0; d < vdisplay::kDisplayCount; ++d) {
            g_seenPlugged[d] = g_state.Get()->displays[d].plugged;
            g_seenSerial[d] = g_state.Get()->displays[d].plugSerial;
        }
    }
    if (g_notify) {
        HANDLE thread = ::CreateThread(nullptr, 0, &WatchPlugging, nullptr, 0, nullptr);
        if (thread) {
            ::CloseHandle(thread);
        }
    }
}

}  // namespace

struct hid_device_ {
    const Interface* iface;  // not owned: an entry of kInterfaces
    int32_t plugSerial;      // the display's plug serial when it was opened
    bool replyWrongIdPending;
    hid_device_info* info;  // owned
    const wchar_t* error;   // static text
};

namespace {

// The display's slot if the handle still refers to the display as plugged when it was opened, else null
// (with the error set). Called with the lock held.
DisplaySlot* LiveSlot(hid_device* device) noexcept {
    if (device->iface->display < 0) {
        device->error = L"the device has no feature reports";
        return nullptr;
    }
    DisplaySlot& slot = g_state.Get()->displays[device->iface->display];
    if (!slot.plugged || slot.plugSerial != device->plugSerial) {
        device->error = L"the device is not connected";
        return nullptr;
    }
    return &slot;
}

}  // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) {
    if (!g_stateOpen) {
        g_lastError = L"the virtual display's state cannot be opened";
        return -1;
    }
    Guard guard(g_state);
    if (g_state.Get()->initFails) {
        g_lastError = L"the HID library cannot be loaded";
        return -1;
    }
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void) {
    return 0;
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id) {
    if (!g_stateOpen) {
        return nullptr;
    }
    bool plugged[vdisplay::kDisplayCount];
    {
        Guard guard(g_state);
        // Like the real library, enumeration initialises it first and finds nothing when that fails.
        if (g_state.Get()->initFails) {
            g_lastError = L"the HID library cannot be loaded";
            return nullptr;
        }
        for (int d = 0; d < vdisplay::kDisplayCount; ++d) {
            plugged[d] = g_state.Get()->displays[d].plugged != 0;
        }
    }
    hid_device_info* first = nullptr;
    hid_device_info** next = &first;
    for (const Interface& iface : kInterfaces) {
        if (iface.display >= 0 && !plugged[iface.display]) {
            continue;
        }
        if ((vendor_id != 0 && vendor_id != iface.vendorId) ||
            (product_id != 0 && product_id != iface.productId)) {
            continue;
        }
        hid_device_info* info = MakeInfo(iface);
        if (info) {
            *next = info;
            next = &info->next;
        }
    }
    return first;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs) {
    while (devs) {
        hid_device_info* next = devs->next;
        FreeInfo(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path) {
    if (!g_stateOpen || !path) {
        return nullptr;
    }
    const Interface* iface = FindInterface(path);
    if (!iface) {
        g_lastError = L"no such device";
        return nullptr;
    }
    int32_t serial = 0;
    if (iface->display >= 0) {
        Guard guard(g_state);
        DisplaySlot& slot = g_state.Get()->displays[iface->display];
        if (!slot.plugged) {
            g_lastError = L"the device is not connected";
            return nullptr;
        }
        if (slot.faults & vdisplay::kFaultOpen) {
            g_lastError = L"access denied";
            return nullptr;
        }
        serial = slot.plugSerial;
        ++slot.openHandles[iface->number];
        ++slot.opensTotal[iface->number];
    }
    auto* device = new hid_device_{iface, serial, false, MakeInfo(*iface), L""};
    return device;
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t* serial_number) {
    if (serial_number && *serial_number) {
        return nullptr;  // the virtual displays have no serial numbers
    }
    hid_device_info* devices = hid_enumerate(vendor_id, product_id);
    hid_device* device = devices ? hid_open_path(devices->path) : nullptr;
    hid_free_enumeration(devices);
    return device;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev) {
    if (!dev) {
        return;
    }
    if (dev->iface->display >= 0) {
        Guard guard(g_state);
        // A reset in between has already cleared the count.
        int32_t& open = g_state.Get()->displays[dev->iface->display].openHandles[dev->iface->number];
        if (open > 0) {
            --open;
        }
    }
    if (dev->info) {
        FreeInfo(dev->info);
    }
    delete dev;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device* dev, const unsigned char* data,
                                                        size_t length) {
    if (!dev || !data || length == 0) {
        return -1;
    }
    Guard guard(g_state);
    DisplaySlot* slot = LiveSlot(dev);
    if (!slot) {
        if (dev->iface->display >= 0) {
            ++g_state.Get()->displays[dev->iface->display].failedSends;
        }
        return -1;
    }
    if (dev->iface->number != 0 || length > kReportSize || data[0] != kReportId) {
        dev->error = L"the interface has no such feature report";
        ++slot->failedSends;
        return -1;
    }
    if (slot->faults & vdisplay::kFaultSend) {
        dev->error = L"the device did not accept the report";
        ++slot->failedSends;
        return -1;
    }
    if (length >= 2 && data[1] == kQueryCode) {
        ++slot->queries;
        dev->replyWrongIdPending = (slot->faults & vdisplay::kFaultWrongReportId) != 0;
        return static_cast<int>(length);
    }
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    vdisplay::Shown shown{};
    vdisplay::DecodeTemperatureReport(data, length, &shown);
    shown.reports = slot->shown.reports + 1;
    shown.ticks = now.QuadPart;
    slot->shown = shown;
    Block* block = g_state.Get();
    vdisplay::LogEntry& entry = block->log[block->logCount % vdisplay::kLogCapacity];
    entry.ticks = now.QuadPart;
    entry.sequence = ++block->logCount;
    entry.display = dev->iface->display;
    std::memcpy(entry.raw, shown.raw, sizeof(entry.raw));
    return static_cast<int>(length);
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    if (!dev || !data || length == 0) {
        return -1;
    }
    Guard guard(g_state);
    DisplaySlot* slot = LiveSlot(dev);
    if (!slot) {
        return -1;
    }
    if (dev->iface->number != 0 || data[0] != kReportId || length < 3) {
        dev->error = L"the interface has no such feature report";
        return -1;
    }
    if (slot->faults & vdisplay::kFaultGet) {
        dev->error = L"the device did not answer";
        return -1;
    }
    const size_t size = length < kReportSize ? length : kReportSize;
    std::memset(data, 0, size);
    data[0] = dev->replyWrongIdPending ? kReportId - 1 : kReportId;
    dev->replyWrongIdPending = false;
    data[1] = static_cast<unsigned char>(slot->firmware >> 8);
    data[2] = static_cast<unsigned char>(slot->firmware & 0xFF);
    return static_cast<int>(size);
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device* dev, unsigned char*, size_t) {
    if (dev) {
        dev->error = L"the device sends no input reports";
    }
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char*, size_t) {
    if (dev) {
        dev->error = L"the device takes no output reports";
    }
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char*, size_t, int) {
    if (dev) {
        dev->error = L"the device sends no input reports";
    }
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device* dev, unsigned char* data, size_t length) {
    return hid_read_timeout(dev, data, length, -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device* dev, int) {
    return dev ? 0 : -1;
}

namespace {
int CopyString(hid_device* dev, const wchar_t* text, wchar_t* out, size_t maxlen) {
    if (!dev || !out || maxlen == 0) {
        return -1;
    }
    std::wcsncpy(out, text, maxlen);
    out[maxlen - 1] = L'\0';
    return 0;
}
}  // namespace

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return CopyString(dev, L"Kelvaro", string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    if (!dev) {
        return -1;
    }
    if (dev->iface->display >= 0) {
        Guard guard(g_state);
        DisplaySlot* slot = LiveSlot(dev);
        if (!slot) {
            return -1;
        }
        if (slot->faults & vdisplay::kFaultProduct) {
            dev->error = L"the device refused the string";
            return -1;
        }
    }
    return CopyString(dev, dev->iface->product, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return CopyString(dev, L"", string, maxlen);
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_get_device_info(hid_device* dev) {
    return dev ? dev->info : nullptr;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t) {
    if (dev) {
        dev->error = L"the device has no indexed strings";
    }
    return -1;
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device* dev) {
    return dev ? dev->error : g_lastError.load();
}

HID_API_EXPORT const struct hid_api_version* HID_API_CALL hid_version(void) {
    static const hid_api_version version = {HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                            HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char* HID_API_CALL hid_version_str(void) {
    return HID_API_VERSION_STR;
}

int HID_API_EXPORT_CALL hid_winapi_get_container_id(hid_device* dev, GUID*) {
    if (dev) {
        dev->error = L"the virtual display has no container";
    }
    return -1;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        StartWatching();
    }
    return TRUE;
}

}  // extern "C"
