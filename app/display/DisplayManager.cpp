#include "display/DisplayManager.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <cwctype>
#include <initguid.h>

// The HID headers have no C linkage of their own.
extern "C" {
#include <hidsdi.h>
}

namespace {

constexpr DWORD kQueryPauseMs = 16;

// How a device interface path names a display model: "VID_1A2C&PID_4C84" (upper case).
std::wstring DeviceMarker(unsigned short productId) {
    wchar_t text[32] = {};
    std::swprintf(text, std::size(text), L"VID_%04X&PID_%04X", kDisplayVendorId, productId);
    return text;
}

// USB device, disk, HID, network adapter.
constexpr GUID kNotificationClasses[] = {
    {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}},
    {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}},
    {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}},
    {0xAD498944, 0x762F, 0x11D0, {0x8D, 0xCB, 0x00, 0xC0, 0x4F, 0xC3, 0x35, 0x8C}},
};

}  // namespace

DisplayManager& DisplayManager::Instance() noexcept {
    static DisplayManager manager;
    return manager;
}

DisplayManager::DisplayManager() noexcept {
    EnsureHid();
}

DisplayManager::~DisplayManager() {
    CloseAll();
    if (hidReady_) {
        hid_exit();
    }
}

bool DisplayManager::EnsureHid() noexcept {
    if (!hidReady_) {
        hidReady_ = hid_init() == 0;
    }
    return hidReady_;
}

void DisplayManager::ClearFilters() noexcept {
    filters_.clear();
}

void DisplayManager::AddFilter(unsigned short productId, const wchar_t* name, int modelTag) noexcept {
    filters_.push_back(DisplayFilter{kDisplayVendorId, productId, name ? name : L"", modelTag});
}

const DisplayFilter* DisplayManager::FindFilter(unsigned short vendorId,
                                                unsigned short productId) const noexcept {
    for (const DisplayFilter& filter : filters_) {
        if (filter.vendorId == vendorId && filter.productId == productId) {
            return &filter;
        }
    }
    return nullptr;
}

void DisplayManager::CloseAll() noexcept {
    if (!listValid_) {
        return;
    }
    listValid_ = false;
    displays_.clear();
    count_.store(0);
}

void DisplayManager::Enumerate() noexcept {
    if (!EnsureHid()) {
        return;
    }
    const UniqueHidDeviceList devices(hid_enumerate(0, 0));
    for (const hid_device_info* entry = devices.get(); entry; entry = entry->next) {
        const DisplayFilter* filter = FindFilter(entry->vendor_id, entry->product_id);
        if (!filter || !entry->path) {
            continue;
        }
        UniqueHidDevice device(hid_open_path(entry->path));
        if (!device) {
            continue;
        }
        if (entry->usage_page != kDisplayUsagePage || entry->usage != kDisplayUsage) {
            continue;  // another interface of the same device: closed again here
        }
        auto record = std::make_unique<DisplayRecord>();
        record->index = static_cast<int>(displays_.size());
        record->vendorId = entry->vendor_id;
        record->productId = entry->product_id;
        std::strncpy(record->path, entry->path, kDevicePathSize - 1);
        wchar_t product[kProductTextSize] = {};
        if (hid_get_product_string(device.get(), product, kProductTextSize - 1) == 0) {
            record->productText = product;
        }
        record->device = std::move(device);
        record->releaseNumber = entry->release_number;
        record->modelTag = filter->modelTag;
        displays_.push_back(std::move(record));
        count_.store(static_cast<int>(displays_.size()));
    }
}

void DisplayManager::RescanDisplays(DisplayFacts& facts) noexcept {
    facts.present.store(0);
    ClearFilters();
    AddFilter(kProductIdK1, L"", kModelK1);
    AddFilter(kProductIdK2, L"", kModelK2);
    CloseAll();
    Enumerate();
    listValid_ = true;
    if (!displays_.empty()) {
        facts.model.store(displays_.front()->modelTag);
        facts.present.store(1);
    }
}

const DisplayRecord* DisplayManager::Record(int i) const noexcept {
    if (i < 0 || static_cast<size_t>(i) >= displays_.size()) {
        return nullptr;
    }
    return displays_[static_cast<size_t>(i)].get();
}

bool DisplayManager::SendReportToAll(const TemperatureReport& report) noexcept {
    if (!listValid_) {
        return false;
    }
    for (const auto& record : displays_) {
        if (record->device) {
            // A display that fails (pulled out, device error) does not keep the others from their report.
            static_cast<void>(hid_send_feature_report(record->device.get(), report.data(), report.size()));
        }
    }
    return true;
}

bool DisplayManager::QueryFirmwareVersion(int* version) noexcept {
    if (!listValid_ || displays_.empty() || !displays_.front()->device) {
        return false;
    }
    hid_device* device = displays_.front()->device.get();
    unsigned char request[kTemperatureReportSize] = {};
    request[0] = kDisplayReportId;
    request[1] = kFirmwareQueryCode;
    unsigned char buffer[kFirmwareReplySize] = {};

    ::Sleep(kQueryPauseMs);
    std::memcpy(buffer, request, kFirmwareQuerySize);
    if (hid_send_feature_report(device, buffer, kFirmwareQuerySize) <= 0) {
        return false;
    }
    ::Sleep(kQueryPauseMs);
    std::memcpy(buffer, request, sizeof(buffer));
    int read = hid_get_feature_report(device, buffer, kFirmwareReplySize);
    if (read > 0 && buffer[0] != kDisplayReportId) {
        ::Sleep(kQueryPauseMs);
        std::memcpy(buffer, request, sizeof(buffer));
        read = hid_get_feature_report(device, buffer, kFirmwareReplySize);
    }
    // A failed read leaves the request in the buffer, which must not pass for a version.
    if (read < 3) {
        return false;
    }
    *version = buffer[1] * 256 + buffer[2];
    return true;
}

bool DisplayManager::RegisterDisplayNotifications(HWND window) noexcept {
    bool all = true;
    for (const GUID& interfaceClass : kNotificationClasses) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = interfaceClass;
        // The handles are kept by the system for the window's life; the program never unregisters.
        if (!::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE)) {
            all = false;
        }
    }
    return all;
}

bool DisplayManager::OnDeviceInterfaceChange(const DEV_BROADCAST_DEVICEINTERFACE_W* broadcast, WPARAM event,
                                             DisplayFacts& facts, CommandQueue& queue) noexcept {
    if (!broadcast) {
        return false;
    }
    constexpr size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (broadcast->dbcc_size <= kNameOffset) {
        return false;
    }
    const size_t capacity = (broadcast->dbcc_size - kNameOffset) / sizeof(wchar_t);
    const std::wstring name(broadcast->dbcc_name, ::wcsnlen(broadcast->dbcc_name, capacity));
    std::wstring upper(name);
    for (wchar_t& c : upper) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    static const std::wstring kMarkers[] = {DeviceMarker(kProductIdK1), DeviceMarker(kProductIdK2)};
    bool display = false;
    for (const std::wstring& marker : kMarkers) {
        if (upper.find(marker) == std::wstring::npos) {
            continue;
        }
        display = true;
        if (event == DBT_DEVICEARRIVAL) {
            if (ProbeDisplayInterface(name.c_str())) {
                queue.Push(WorkerCommand::kRescan);
            }
        } else if (event == DBT_DEVICEREMOVECOMPLETE) {
            facts.present.store(0);
        }
        queue.Push(WorkerCommand::kRescan);
    }
    return display;
}

bool DisplayManager::ProbeDisplayInterface(const wchar_t* path) noexcept {
    UniqueFileHandle file(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr));
    if (!file) {
        return false;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    static_cast<void>(::HidD_GetAttributes(file.get(), &attributes));
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    bool display = false;
    if (::HidD_GetPreparsedData(file.get(), &preparsed)) {
        HIDP_CAPS caps{};
        display = ::HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS &&
                  caps.UsagePage == kDisplayUsagePage && caps.Usage == kDisplayUsage;
        ::HidD_FreePreparsedData(preparsed);
    }
    return display;
}
