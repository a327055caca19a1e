// A stand-in hidapi.dll that emulates the K1 and K2 temperature displays (see VirtualDisplayState.h for the
// shared state the control program sets, DisplayModel.h for what the displays do). It has the exports of
// hidapi's Windows back end, so the program links and loads it exactly like the real one, and it does what
// that back end does over the Windows HID stack:
//
// - hid_init fails while the HID library is unavailable, until it once succeeds (until hid_exit); enumeration
//   and opening initialise it first.
// - Enumeration opens every collection without access to read its attributes, so a collection the system
//   refuses is not listed, and a display's collections only once they are ready. hid_open_path opens with
//   read and write access and, refused that (the pointer, a display another program holds), without.
// - A send shorter than the collection's feature report length is padded with zeros to it, a longer one is
// cut
//   to it (the call still returns the caller's length); a read into a buffer shorter than the report fails, a
//   longer buffer gets the report's length. A transfer waits without a bound, like hidapi does.
// - The product string is the one read when the device was opened.
//
// Two faults only this stand-in can show, because the Windows HID layer beneath the real library never
// produces them: a product string request that fails (fault `product`: hid_get_product_string returns -1),
// and a reply whose byte 0 is another report ID than the one asked for (fault `wrongid`).
//
// When it loads it also takes over the loading program's device-notification registrations and its own HID
// probe calls (DeviceNotifications.h, HidSystemCalls.h). It is meant to be imported, never unloaded.

#include "DeviceNotifications.h"
#include "DisplayModel.h"
#include "HidSystemCalls.h"
#include "win/HidHandles.h"

#include <hidapi.h>
#include <hidapi_winapi.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

using vdisplay::Interface;
using vdisplay::Opened;
using vdisplay::Refusal;

namespace {

std::atomic<const wchar_t*> g_lastError{L""};
std::atomic<bool> g_initialised{false};

const wchar_t* RefusalText(Refusal refusal) noexcept {
    switch (refusal) {
        case Refusal::kNone:
            return L"";
        case Refusal::kNotPresent:
        case Refusal::kGone:
            return L"the device is not connected";
        case Refusal::kDenied:
        case Refusal::kSystemOwned:
            return L"access denied";
        case Refusal::kHeldElsewhere:
            return L"the device is in use by another program";
        case Refusal::kNoSuchReport:
            return L"the collection has no such feature report";
        case Refusal::kShortBuffer:
            return L"the buffer is shorter than the feature report";
        case Refusal::kDeviceFailed:
            return L"the device did not respond to the request";
    }
    return L"";
}

hid_device_info* MakeInfo(const Interface& iface) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (!info) {
        return nullptr;
    }
    info->path = _strdup(iface.path);
    info->vendor_id = iface.vendorId;
    info->product_id = iface.productId;
    info->serial_number = _wcsdup(L"");
    info->release_number = vdisplay::kReleaseNumber;
    info->manufacturer_string = _wcsdup(vdisplay::kManufacturer);
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
    Opened opened;
    hid_device_info* info;  // owned; read when the device was opened
    const wchar_t* error;   // static text
};

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) {
    if (g_initialised) {
        return 0;
    }
    if (!vdisplay::SharedReady()) {
        g_lastError = L"the virtual display's state cannot be opened";
        return -1;
    }
    if (vdisplay::InitFails()) {
        g_lastError = L"the HID library cannot be loaded";
        return -1;
    }
    g_initialised = true;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void) {
    g_initialised = false;
    return 0;
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id) {
    if (hid_init() != 0) {
        return nullptr;
    }
    hid_device_info* first = nullptr;
    hid_device_info** next = &first;
    for (const Interface& iface : vdisplay::kInterfaces) {
        // Each collection is opened, without access, to read its attributes; one that does not open is left
        // out.
        Opened opened;
        if (vdisplay::OpenCollection(iface, false, &opened) != Refusal::kNone) {
            continue;
        }
        vdisplay::CloseCollection(opened);
        if ((vendor_id != 0 && vendor_id != iface.vendorId) ||
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
    if (hid_init() != 0) {
        return nullptr;
    }
    const Interface* iface = vdisplay::FindInterface(path);
    if (!iface) {
        g_lastError = L"no such device";
        return nullptr;
    }
    Opened opened;
    Refusal refusal = vdisplay::OpenCollection(*iface, true, &opened);
    if (refusal == Refusal::kSystemOwned || refusal == Refusal::kHeldElsewhere) {
        // As hidapi does: without read and write access, feature reports still travel.
        refusal = vdisplay::OpenCollection(*iface, false, &opened);
    }
    if (refusal != Refusal::kNone) {
        g_lastError = RefusalText(refusal);
        return nullptr;
    }
    return new hid_device_{opened, MakeInfo(*iface), L""};
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t* serial_number) {
    if (serial_number && *serial_number) {
        return nullptr;  // the virtual displays have no serial numbers
    }
    const UniqueHidDeviceList devices(hid_enumerate(vendor_id, product_id));
    return devices ? hid_open_path(devices.get()->path) : nullptr;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev) {
    if (!dev) {
        return;
    }
    vdisplay::CloseCollection(dev->opened);
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
    const vdisplay::Transfer kind = vdisplay::SendKind(data, length);
    // What hidapi returns for a send: the caller's length.
    const int sent = static_cast<int>(std::min<size_t>(length, INT_MAX));
    int transferMs = 0;
    Refusal refusal =
        vdisplay::BeginTransfer(dev->opened, kind, data, length, vdisplay::ShortSend::kPadded, &transferMs);
    if (refusal == Refusal::kNone) {
        vdisplay::AwaitTransfer(dev->opened, transferMs);
        refusal = vdisplay::EndSend(dev->opened, data, length, sent);
    }
    dev->error = RefusalText(refusal);
    return refusal == Refusal::kNone ? sent : -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    if (!dev || !data || length == 0) {
        return -1;
    }
    int transferMs = 0;
    int bytes = -1;
    Refusal refusal = vdisplay::BeginTransfer(dev->opened, vdisplay::kTransferGet, data, length,
                                              vdisplay::ShortSend::kRefused, &transferMs);
    if (refusal == Refusal::kNone) {
        vdisplay::AwaitTransfer(dev->opened, transferMs);
        refusal = vdisplay::EndGet(dev->opened, data, length, vdisplay::ReplyId::kAsSent, &bytes);
    }
    dev->error = RefusalText(refusal);
    return refusal == Refusal::kNone ? bytes : -1;
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
    // Beyond what the real library does: it copies the string it read at opening and fails only without one.
    if (vdisplay::ProductRefused(*dev->opened.iface)) {
        dev->error = L"the device refused the string";
        return -1;
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
