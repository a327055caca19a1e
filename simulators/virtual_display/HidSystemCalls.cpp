#include "HidSystemCalls.h"

#include "CollectionHandles.h"
#include "ImportPatch.h"
#include "OverlappedIo.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <vector>

namespace vdisplay::hidcalls {

namespace {

constexpr ULONG kMinInputBuffers = 2;
constexpr ULONG kMaxInputBuffers = 512;

// What HidD_GetPreparsedData hands out for a virtual collection.
struct Preparsed {
    const Interface* iface;
};

std::mutex g_mutex;
std::vector<std::unique_ptr<Preparsed>> g_preparsed;

// The system's hid.dll, loaded by its full path: a stand-in hid.dll beside the program has its name.
HMODULE SystemHid() noexcept {
    static const HMODULE module = [] {
        wchar_t path[MAX_PATH] = {};
        const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH - 10) {
            return HMODULE{};
        }
        std::wcscat(path, L"\\hid.dll");
        return ::LoadLibraryW(path);
    }();
    return module;
}

template <typename Function>
Function System(const char* name) noexcept {
    const HMODULE module = SystemHid();
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
#endif
    return module ? reinterpret_cast<Function>(::GetProcAddress(module, name)) : nullptr;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

enum class Lookup {
    kOther,  // not a virtual collection's handle: the system answers
    kGone,   // its display was pulled out since it was opened (the last error says so)
    kLive,
};

Lookup LookUp(HANDLE handle, CollectionHandle* out) noexcept {
    if (!FindCollection(handle, out)) {
        return Lookup::kOther;
    }
    if (!StillConnected(out->opened)) {
        ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return Lookup::kGone;
    }
    return Lookup::kLive;
}

// A string of the collection into buffer (length bytes), as the HidD_Get*String calls give it.
BOOLEAN CopyString(const wchar_t* text, PVOID buffer, ULONG length) noexcept {
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    if (!buffer || length < sizeof(wchar_t)) {
        ::SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    // A short buffer gets as much as fits, without a terminator, as Windows does.
    std::memcpy(buffer, text, std::min<size_t>(bytes, length));
    return TRUE;
}

template <typename Function, typename... Args>
BOOLEAN PassOn(const char* name, Args... args) noexcept {
    const auto function = System<Function>(name);
    if (!function) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return function(args...);
}

using HandleCall = BOOLEAN(NTAPI*)(HANDLE, PVOID, ULONG);

// A call whose first argument is a handle: the system answers it for other handles, it fails for a display
// that was pulled out, and answer(collection) gives the result for a live one.
template <typename Function, typename Answer, typename... Args>
BOOLEAN OnHandle(const char* name, Answer answer, HANDLE handle, Args... args) noexcept {
    CollectionHandle collection;
    switch (LookUp(handle, &collection)) {
        case Lookup::kOther:
            return PassOn<Function>(name, handle, args...);
        case Lookup::kGone:
            return FALSE;
        case Lookup::kLive:
            break;
    }
    return answer(collection);
}

BOOLEAN Refuse(DWORD error) noexcept {
    ::SetLastError(error);
    return FALSE;
}

}  // namespace

void NTAPI GetHidGuid(LPGUID guid) {
    if (guid) {
        *guid = kHidInterfaceClass;
    }
}

BOOLEAN NTAPI GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    return OnHandle<decltype(&GetAttributes)>(
        "HidD_GetAttributes",
        [&](const CollectionHandle& collection) {
            attributes->VendorID = collection.opened.iface->vendorId;
            attributes->ProductID = collection.opened.iface->productId;
            attributes->VersionNumber = kReleaseNumber;
            return TRUE;
        },
        handle, attributes);
}

BOOLEAN NTAPI GetSerialNumberString(HANDLE handle, PVOID buffer, ULONG length) {
    return OnHandle<HandleCall>(
        "HidD_GetSerialNumberString", [](const CollectionHandle&) { return Refuse(ERROR_INVALID_PARAMETER); },
        handle, buffer, length);
}

BOOLEAN NTAPI GetManufacturerString(HANDLE handle, PVOID buffer, ULONG length) {
    return OnHandle<HandleCall>(
        "HidD_GetManufacturerString",
        [&](const CollectionHandle&) { return CopyString(kManufacturer, buffer, length); }, handle, buffer,
        length);
}

BOOLEAN NTAPI GetProductString(HANDLE handle, PVOID buffer, ULONG length) {
    return OnHandle<HandleCall>(
        "HidD_GetProductString",
        [&](const CollectionHandle& collection) {
            return ProductRefused(*collection.opened.iface)
                       ? Refuse(ERROR_GEN_FAILURE)
                       : CopyString(collection.opened.iface->product, buffer, length);
        },
        handle, buffer, length);
}

BOOLEAN NTAPI SetFeature(HANDLE handle, PVOID report, ULONG length) {
    CollectionHandle collection;
    if (!FindCollection(handle, &collection)) {
        return PassOn<HandleCall>("HidD_SetFeature", handle, report, length);
    }
    return TransferFeatureReport(collection, false, report, length) ? TRUE : FALSE;
}

BOOLEAN NTAPI GetFeature(HANDLE handle, PVOID report, ULONG length) {
    CollectionHandle collection;
    if (!FindCollection(handle, &collection)) {
        return PassOn<HandleCall>("HidD_GetFeature", handle, report, length);
    }
    return TransferFeatureReport(collection, true, report, length) ? TRUE : FALSE;
}

BOOLEAN NTAPI GetInputReport(HANDLE handle, PVOID report, ULONG length) {
    return OnHandle<HandleCall>(
        "HidD_GetInputReport", [](const CollectionHandle&) { return Refuse(ERROR_INVALID_FUNCTION); }, handle,
        report, length);
}

BOOLEAN NTAPI GetIndexedString(HANDLE handle, ULONG index, PVOID buffer, ULONG length) {
    return OnHandle<decltype(&GetIndexedString)>(
        "HidD_GetIndexedString", [](const CollectionHandle&) { return Refuse(ERROR_INVALID_FUNCTION); },
        handle, index, buffer, length);
}

BOOLEAN NTAPI GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    return OnHandle<decltype(&GetPreparsedData)>(
        "HidD_GetPreparsedData",
        [&](const CollectionHandle& collection) {
            std::lock_guard lock(g_mutex);
            g_preparsed.push_back(std::make_unique<Preparsed>(Preparsed{collection.opened.iface}));
            *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(g_preparsed.back().get());
            return TRUE;
        },
        handle, data);
}

BOOLEAN NTAPI FreePreparsedData(PHIDP_PREPARSED_DATA data) {
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
    return PassOn<decltype(&FreePreparsedData)>("HidD_FreePreparsedData", data);
}

NTSTATUS NTAPI GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    const Interface* iface = nullptr;
    {
        std::lock_guard lock(g_mutex);
        for (const auto& p : g_preparsed) {
            if (reinterpret_cast<PHIDP_PREPARSED_DATA>(p.get()) == data) {
                iface = p->iface;
            }
        }
    }
    if (!iface) {
        const auto system = System<decltype(&GetCaps)>("HidP_GetCaps");
        return system ? system(data, caps) : HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    *caps = HIDP_CAPS{};
    caps->UsagePage = iface->usagePage;
    caps->Usage = iface->usage;
    caps->InputReportByteLength = iface->inputLength;
    caps->FeatureReportByteLength = iface->featureLength;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN NTAPI SetNumInputBuffers(HANDLE handle, ULONG count) {
    return OnHandle<decltype(&SetNumInputBuffers)>(
        "HidD_SetNumInputBuffers",
        [&](const CollectionHandle&) {
            return count >= kMinInputBuffers && count <= kMaxInputBuffers ? TRUE
                                                                          : Refuse(ERROR_INVALID_PARAMETER);
        },
        handle, count);
}

}  // namespace vdisplay::hidcalls

namespace vdisplay {

namespace {

struct Replacement {
    const char* name;
    void* function;
};

const Replacement kFileCalls[] = {
    {"CreateFileW", reinterpret_cast<void*>(&OpenCollectionFile)},
    {"CloseHandle", reinterpret_cast<void*>(&CloseCollectionFile)},
    {"DeviceIoControl", reinterpret_cast<void*>(&ControlCollection)},
    {"CancelIo", reinterpret_cast<void*>(&CancelCollectionIo)},
    {"ReadFile", reinterpret_cast<void*>(&ReadCollection)},
    {"WriteFile", reinterpret_cast<void*>(&WriteCollection)},
};

const Replacement kHidCalls[] = {
    {"HidD_GetHidGuid", reinterpret_cast<void*>(&hidcalls::GetHidGuid)},
    {"HidD_GetAttributes", reinterpret_cast<void*>(&hidcalls::GetAttributes)},
    {"HidD_GetSerialNumberString", reinterpret_cast<void*>(&hidcalls::GetSerialNumberString)},
    {"HidD_GetManufacturerString", reinterpret_cast<void*>(&hidcalls::GetManufacturerString)},
    {"HidD_GetProductString", reinterpret_cast<void*>(&hidcalls::GetProductString)},
    {"HidD_SetFeature", reinterpret_cast<void*>(&hidcalls::SetFeature)},
    {"HidD_GetFeature", reinterpret_cast<void*>(&hidcalls::GetFeature)},
    {"HidD_GetInputReport", reinterpret_cast<void*>(&hidcalls::GetInputReport)},
    {"HidD_GetIndexedString", reinterpret_cast<void*>(&hidcalls::GetIndexedString)},
    {"HidD_GetPreparsedData", reinterpret_cast<void*>(&hidcalls::GetPreparsedData)},
    {"HidD_FreePreparsedData", reinterpret_cast<void*>(&hidcalls::FreePreparsedData)},
    {"HidP_GetCaps", reinterpret_cast<void*>(&hidcalls::GetCaps)},
    {"HidD_SetNumInputBuffers", reinterpret_cast<void*>(&hidcalls::SetNumInputBuffers)},
};

}  // namespace

void InstallFileCalls(HMODULE module) noexcept {
    for (const Replacement& r : kFileCalls) {
        ReplaceImport(module, "kernel32.dll", r.name, r.function);
    }
}

void InstallHidSystemCalls(HMODULE module) noexcept {
    InstallFileCalls(module);
    for (const Replacement& r : kHidCalls) {
        ReplaceImport(module, "hid.dll", r.name, r.function);
    }
}

}  // namespace vdisplay
