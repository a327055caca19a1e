#include "HidSystemCalls.h"

#include "ImportPatch.h"
#include "VirtualDevices.h"

// The HID headers have no C linkage of their own.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace vdisplay {

namespace {

constexpr unsigned short kReleaseNumber = 0x0100;

struct OpenCollection {
    HANDLE handle;
    const Interface* iface;
    int32_t serial;  // the display's plug serial when it was opened
};

// What HidD_GetPreparsedData hands out for a virtual collection.
struct Preparsed {
    const Interface* iface;
};

std::mutex g_mutex;
std::vector<OpenCollection> g_open;
std::vector<std::unique_ptr<Preparsed>> g_preparsed;

enum class Lookup {
    kOther,  // not a virtual collection's handle: the system answers
    kGone,   // its display was pulled out since it was opened (the last error says so)
    kLive,
};

// What handle refers to; for a virtual collection it is copied to *out.
Lookup LookUp(HANDLE handle, OpenCollection* out) {
    {
        std::lock_guard lock(g_mutex);
        const auto it = std::find_if(g_open.begin(), g_open.end(),
                                     [&](const OpenCollection& c) { return c.handle == handle; });
        if (it == g_open.end()) {
            return Lookup::kOther;
        }
        *out = *it;
    }
    if (out->iface->display < 0) {
        return Lookup::kLive;
    }
    Guard guard(Shared());
    const DisplaySlot& slot = Shared().Get()->displays[out->iface->display];
    if (slot.plugged == 0 || slot.plugSerial != out->serial) {
        ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return Lookup::kGone;
    }
    return Lookup::kLive;
}

HANDLE WINAPI CreateFileHook(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
    const Interface* iface = FindInterface(path);
    if (!iface) {
        return ::CreateFileW(path, access, share, security, disposition, flags, templateFile);
    }
    int32_t serial = 0;
    DWORD error = ERROR_SUCCESS;
    {
        Guard guard(Shared());
        if (!InterfacePresentLocked(*iface, &serial)) {
            error = ERROR_FILE_NOT_FOUND;
        } else if (iface->display >= 0 && (Shared().Get()->displays[iface->display].faults & kFaultOpen)) {
            error = ERROR_ACCESS_DENIED;
        } else if (iface->display < 0 && (access & (GENERIC_READ | GENERIC_WRITE))) {
            error = ERROR_ACCESS_DENIED;
        }
    }
    HANDLE handle = error == ERROR_SUCCESS ? ::CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    if (!handle) {
        ::SetLastError(error == ERROR_SUCCESS ? ::GetLastError() : error);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(g_mutex);
    g_open.push_back(OpenCollection{handle, iface, serial});
    return handle;
}

BOOL WINAPI CloseHandleHook(HANDLE handle) {
    {
        std::lock_guard lock(g_mutex);
        std::erase_if(g_open, [&](const OpenCollection& c) { return c.handle == handle; });
    }
    return ::CloseHandle(handle);
}

BOOLEAN NTAPI GetAttributesHook(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    OpenCollection collection{};
    switch (LookUp(handle, &collection)) {
        case Lookup::kOther:
            return ::HidD_GetAttributes(handle, attributes);
        case Lookup::kGone:
            return FALSE;
        case Lookup::kLive:
            break;
    }
    attributes->VendorID = collection.iface->vendorId;
    attributes->ProductID = collection.iface->productId;
    attributes->VersionNumber = kReleaseNumber;
    return TRUE;
}

BOOLEAN NTAPI GetPreparsedDataHook(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    OpenCollection collection{};
    switch (LookUp(handle, &collection)) {
        case Lookup::kOther:
            return ::HidD_GetPreparsedData(handle, data);
        case Lookup::kGone:
            return FALSE;
        case Lookup::kLive:
            break;
    }
    std::lock_guard lock(g_mutex);
    g_preparsed.push_back(std::make_unique<Preparsed>(Preparsed{collection.iface}));
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(g_preparsed.back().get());
    return TRUE;
}

const Interface* FindPreparsed(PHIDP_PREPARSED_DATA data) {
    std::lock_guard lock(g_mutex);
    for (const auto& p : g_preparsed) {
        if (reinterpret_cast<PHIDP_PREPARSED_DATA>(p.get()) == data) {
            return p->iface;
        }
    }
    return nullptr;
}

NTSTATUS NTAPI GetCapsHook(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    const Interface* iface = FindPreparsed(data);
    if (!iface) {
        return ::HidP_GetCaps(data, caps);
    }
    *caps = HIDP_CAPS{};
    caps->UsagePage = iface->usagePage;
    caps->Usage = iface->usage;
    caps->InputReportByteLength = iface->inputLength;
    caps->FeatureReportByteLength = iface->featureLength;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN NTAPI FreePreparsedDataHook(PHIDP_PREPARSED_DATA data) {
    {
        std::lock_guard lock(g_mutex);
        const auto before = g_preparsed.size();
        std::erase_if(g_preparsed, [&](const std::unique_ptr<Preparsed>& p) {
            return reinterpret_cast<PHIDP_PREPARSED_DATA>(p.get()) == data;
        });
        if (g_preparsed.size() != before) {
            return TRUE;
        }
    }
    return ::HidD_FreePreparsedData(data);
}

}  // namespace

void InstallHidSystemCalls(HMODULE host) noexcept {
    ReplaceImport(host, "kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&CreateFileHook));
    ReplaceImport(host, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(&CloseHandleHook));
    ReplaceImport(host, "hid.dll", "HidD_GetAttributes", reinterpret_cast<void*>(&GetAttributesHook));
    ReplaceImport(host, "hid.dll", "HidD_GetPreparsedData", reinterpret_cast<void*>(&GetPreparsedDataHook));
    ReplaceImport(host, "hid.dll", "HidP_GetCaps", reinterpret_cast<void*>(&GetCapsHook));
    ReplaceImport(host, "hid.dll", "HidD_FreePreparsedData", reinterpret_cast<void*>(&FreePreparsedDataHook));
}

}  // namespace vdisplay
