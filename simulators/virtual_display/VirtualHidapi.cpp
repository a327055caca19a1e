// A stand-in hidapi.dll that emulates the K1 and K2 temperature displays (see VirtualDisplayState.h for the
// shared state the control program sets, VirtualDevices.h for the devices). It has the exports of hidapi's
// Windows back end, so the program links and loads it exactly like the real one, and it is as strict as that
// back end over the Windows HID stack:
//
// - Enumeration lists a display's collections, and they open, only once they are ready (a moment after the
//   plug-in, see DeviceNotifications.h); a handle dies with an unplug.
// - Feature reports go only to a collection that has them, with its report ID. A send shorter than the
//   collection's feature report length is padded with zeros to it, a longer one is cut to it (the call still
//   returns the caller's length); a read into a buffer shorter than the report fails, a longer buffer gets
//   the report's length. Every transfer is logged with its lengths.
// - A transfer takes the display's transfer time (waiting like hidapi does, without a bound), and fails if
//   the display is pulled out meanwhile.
// - The product string is the one read when the device was opened.
//
// When it loads it also takes over the loading program's device-notification registrations and its own HID
// probe calls (DeviceNotifications.h, HidSystemCalls.h). It is meant to be imported, never unloaded.

#include "DeviceNotifications.h"
#include "HidSystemCalls.h"
#include "VirtualDevices.h"

#include <hidapi.h>
#include <hidapi_winapi.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

using vdisplay::Block;
using vdisplay::DisplaySlot;
using vdisplay::Guard;
using vdisplay::Interface;
using vdisplay::Shared;

namespace {

constexpr DWORD kTransferSliceMs = 10;  // how often a transfer in progress looks for an unplug

std::atomic<const wchar_t*> g_lastError{L""};

hid_device_info* MakeInfo(const Interface& iface) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (!info) {
        return nullptr;
    }
    info->path = _strdup(iface.path);
    info->vendor_id = iface.vendorId;
    info->product_id = iface.productId;
    info->serial_number = _wcsdup(L"");
    info->release_number = 0x0100;
    info->manufacturer_string = _wcsdup(L"Kelvaro");
    info->product_string = _wcsdup(iface.product);
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

}  // namespace

struct hid_device_ {
    const Interface* iface;  // not owned: an entry of kInterfaces
    int32_t plugSerial;      // the display's plug serial when it was opened
    bool replyWrongIdPending;
    hid_device_info* info;  // owned; read when the device was opened
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
    DisplaySlot& slot = Shared().Get()->displays[device->iface->display];
    if (!slot.plugged || slot.plugSerial != device->plugSerial) {
        device->error = L"the device is not connected";
        return nullptr;
    }
    return &slot;
}

// Logs a transfer of a display's collection and returns its time. bytes: what travelled (at least kRawBytes
// of it), or null.
int64_t LogTransferLocked(const hid_device* device, vdisplay::Transfer kind, size_t length, int wire,
                          int result, const unsigned char* bytes) noexcept {
    Block* block = Shared().Get();
    vdisplay::LogEntry& entry = block->log[block->logCount % vdisplay::kLogCapacity];
    entry.ticks = vdisplay::Now();
    entry.sequence = ++block->logCount;
    entry.display = device->iface->display;
    entry.kind = kind;
    entry.length = static_cast<int32_t>(std::min<size_t>(length, INT_MAX));
    entry.wire = wire;
    entry.result = result;
    std::memset(entry.raw, 0, sizeof(entry.raw));
    if (bytes) {
        std::memcpy(entry.raw, bytes, sizeof(entry.raw));
    }
    return entry.ticks;
}

// Checks that the transfer can start: the display is there and its collection has feature reports with
// this ID. Returns the display's transfer time, or -1 (logged as a failed transfer of kind).
int StartTransfer(hid_device* dev, vdisplay::Transfer kind, size_t length, unsigned char reportId) noexcept {
    Guard guard(Shared());
    DisplaySlot* slot = LiveSlot(dev);
    if (slot && (dev->iface->featureLength == 0 || reportId != vdisplay::kReportId)) {
        dev->error = L"the collection has no such feature report";
        slot = nullptr;
    }
    if (slot && kind == vdisplay::kTransferGet && length < dev->iface->featureLength) {
        dev->error = L"the buffer is shorter than the feature report";
        slot = nullptr;
    }
    if (!slot) {
        if (dev->iface->display >= 0) {
            if (kind != vdisplay::kTransferGet) {
                ++Shared().Get()->displays[dev->iface->display].failedSends;
            }
            LogTransferLocked(dev, kind, length, 0, -1, nullptr);
        }
        return -1;
    }
    ++slot->transfers;
    return slot->transferMs;
}

// Waits out the transfer time, or less if the display is pulled out meanwhile (the caller then finds it
// gone).
void WaitTransfer(hid_device* dev, int ms) noexcept {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
        ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(end - now, kTransferSliceMs)));
        Guard guard(Shared());
        if (!LiveSlot(dev)) {
            return;  // pulled out: the transfer fails at once
        }
    }
}

}  // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) {
    if (!vdisplay::SharedReady()) {
        g_lastError = L"the virtual display's state cannot be opened";
        return -1;
    }
    Guard guard(Shared());
    if (Shared().Get()->initFails) {
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
    if (!vdisplay::SharedReady()) {
        return nullptr;
    }
    bool present[std::size(vdisplay::kInterfaces)] = {};
    {
        Guard guard(Shared());
        // Like the real library, enumeration initialises it first and finds nothing when that fails.
        if (Shared().Get()->initFails) {
            g_lastError = L"the HID library cannot be loaded";
            return nullptr;
        }
        for (size_t i = 0; i < std::size(vdisplay::kInterfaces); ++i) {
            int32_t serial = 0;
            present[i] = vdisplay::InterfacePresentLocked(vdisplay::kInterfaces[i], &serial);
        }
    }
    hid_device_info* first = nullptr;
    hid_device_info** next = &first;
    for (size_t i = 0; i < std::size(vdisplay::kInterfaces); ++i) {
        const Interface& iface = vdisplay::kInterfaces[i];
        if (!present[i] || (vendor_id != 0 && vendor_id != iface.vendorId) ||
            (product_id != 0 && product_id != iface.productId)) {
            continue;
        }
        if (hid_device_info* info = MakeInfo(iface)) {
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
    if (!vdisplay::SharedReady()) {
        return nullptr;
    }
    const Interface* iface = vdisplay::FindInterface(path);
    if (!iface) {
        g_lastError = L"no such device";
        return nullptr;
    }
    int32_t serial = 0;
    {
        Guard guard(Shared());
        if (!vdisplay::InterfacePresentLocked(*iface, &serial)) {
            g_lastError = L"the device is not connected";
            return nullptr;
        }
        if (iface->display >= 0) {
            DisplaySlot& slot = Shared().Get()->displays[iface->display];
            if (slot.faults & vdisplay::kFaultOpen) {
                g_lastError = L"access denied";
                return nullptr;
            }
            ++slot.openHandles[iface->number];
            ++slot.opensTotal[iface->number];
        }
    }
    return new hid_device_{iface, serial, false, MakeInfo(*iface), L""};
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
        Guard guard(Shared());
        // A reset in between has already cleared the count.
        int32_t& open = Shared().Get()->displays[dev->iface->display].openHandles[dev->iface->number];
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
    const bool query = length >= 2 && data[1] == vdisplay::kQueryCode;
    const vdisplay::Transfer kind = query ? vdisplay::kTransferQuery : vdisplay::kTransferReport;
    const int transferMs = StartTransfer(dev, kind, length, data[0]);
    if (transferMs < 0) {
        return -1;
    }
    WaitTransfer(dev, transferMs);

    Guard guard(Shared());
    DisplaySlot* slot = LiveSlot(dev);
    if (slot && (slot->faults & vdisplay::kFaultSend)) {
        dev->error = L"the device did not accept the report";
        slot = nullptr;
    }
    if (!slot) {
        ++Shared().Get()->displays[dev->iface->display].failedSends;
        LogTransferLocked(dev, kind, length, 0, -1, nullptr);
        return -1;
    }
    // What reaches the display: exactly its feature report length.
    const size_t wire = dev->iface->featureLength;
    unsigned char bytes[vdisplay::kVendorFeatureLength] = {};
    std::memcpy(bytes, data, std::min(length, wire));
    const int result = static_cast<int>(std::min<size_t>(length, INT_MAX));
    const int64_t ticks = LogTransferLocked(dev, kind, length, static_cast<int>(wire), result, bytes);
    if (query) {
        ++slot->queries;
        dev->replyWrongIdPending = (slot->faults & vdisplay::kFaultWrongReportId) != 0;
        return result;
    }
    vdisplay::Shown shown{};
    vdisplay::DecodeTemperatureReport(bytes, wire, &shown);
    shown.reports = slot->shown.reports + 1;
    shown.ticks = ticks;
    slot->shown = shown;
    return result;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    if (!dev || !data || length == 0) {
        return -1;
    }
    const int transferMs = StartTransfer(dev, vdisplay::kTransferGet, length, data[0]);
    if (transferMs < 0) {
        return -1;
    }
    WaitTransfer(dev, transferMs);

    Guard guard(Shared());
    DisplaySlot* slot = LiveSlot(dev);
    if (slot && (slot->faults & vdisplay::kFaultGet)) {
        dev->error = L"the device did not answer";
        slot = nullptr;
    }
    if (!slot) {
        LogTransferLocked(dev, vdisplay::kTransferGet, length, 0, -1, nullptr);
        return -1;
    }
    const size_t wire = dev->iface->featureLength;
    std::memset(data, 0, wire);
    data[0] = dev->replyWrongIdPending ? vdisplay::kReportId - 1 : vdisplay::kReportId;
    dev->replyWrongIdPending = false;
    data[1] = static_cast<unsigned char>(slot->firmware >> 8);
    data[2] = static_cast<unsigned char>(slot->firmware & 0xFF);
    LogTransferLocked(dev, vdisplay::kTransferGet, length, static_cast<int>(wire), static_cast<int>(wire),
                      data);
    return static_cast<int>(wire);
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
int CopyString(const wchar_t* text, wchar_t* out, size_t maxlen) {
    if (!out || maxlen == 0) {
        return -1;
    }
    std::wcsncpy(out, text, maxlen);
    out[maxlen - 1] = L'\0';
    return 0;
}
}  // namespace

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return dev ? CopyString(dev->info->manufacturer_string, string, maxlen) : -1;
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    if (!dev) {
        return -1;
    }
    if (dev->iface->display >= 0) {
        Guard guard(Shared());
        // Beyond what the real library does: it copies the string it read at opening and never fails here.
        if (Shared().Get()->displays[dev->iface->display].faults & vdisplay::kFaultProduct) {
            dev->error = L"the device refused the string";
            return -1;
        }
    }
    return CopyString(dev->info->product_string, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return dev ? CopyString(dev->info->serial_number, string, maxlen) : -1;
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
        if (vdisplay::SharedReady()) {
            const HMODULE host = ::GetModuleHandleW(nullptr);
            vdisplay::InstallHidSystemCalls(host);
            vdisplay::StartDeviceNotifications(host);
        }
    }
    return TRUE;
}

}  // extern "C"
