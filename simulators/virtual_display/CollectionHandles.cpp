#include "CollectionHandles.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace vdisplay {

namespace {

constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusUnsuccessful = static_cast<LONG>(0xC0000001);
constexpr LONG kStatusInvalidParameter = static_cast<LONG>(0xC000000D);
constexpr LONG kStatusDeviceNotConnected = static_cast<LONG>(0xC000009D);

std::mutex g_mutex;
std::vector<CollectionHandle> g_handles;

// Called with g_mutex held.
std::vector<CollectionHandle>::iterator FindLocked(HANDLE handle) noexcept {
    return std::find_if(g_handles.begin(), g_handles.end(),
                        [&](const CollectionHandle& c) { return c.handle == handle; });
}

}  // namespace

HANDLE WINAPI OpenCollectionFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
    const Interface* iface = FindInterface(path);
    if (!iface) {
        return ::CreateFileW(path, access, share, security, disposition, flags, templateFile);
    }
    const bool readWrite = (access & (GENERIC_READ | GENERIC_WRITE)) != 0;
    CollectionHandle collection;
    const Refusal refusal = OpenCollection(*iface, readWrite, &collection.opened);
    if (refusal != Refusal::kNone) {
        ::SetLastError(WindowsError(refusal));
        return INVALID_HANDLE_VALUE;
    }
    collection.handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!collection.handle) {
        const DWORD error = ::GetLastError();
        CloseCollection(collection.opened);
        ::SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    collection.access = access & (GENERIC_READ | GENERIC_WRITE);
    collection.overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    std::lock_guard lock(g_mutex);
    g_handles.push_back(collection);
    return collection.handle;
}

bool FindCollection(HANDLE handle, CollectionHandle* out) noexcept {
    std::lock_guard lock(g_mutex);
    const auto it = FindLocked(handle);
    if (it == g_handles.end()) {
        return false;
    }
    *out = *it;
    return true;
}

bool ForgetCollection(HANDLE handle) noexcept {
    CollectionHandle collection;
    {
        std::lock_guard lock(g_mutex);
        const auto it = FindLocked(handle);
        if (it == g_handles.end()) {
            return false;
        }
        collection = *it;
        g_handles.erase(it);
    }
    CloseCollection(collection.opened);
    return true;
}

DWORD WindowsError(Refusal refusal) noexcept {
    switch (refusal) {
        case Refusal::kNone:
            return ERROR_SUCCESS;
        case Refusal::kNotPresent:
            return ERROR_FILE_NOT_FOUND;
        case Refusal::kGone:
            return ERROR_DEVICE_NOT_CONNECTED;
        case Refusal::kDenied:
        case Refusal::kSystemOwned:
            return ERROR_ACCESS_DENIED;
        case Refusal::kHeldElsewhere:
            return ERROR_SHARING_VIOLATION;
        case Refusal::kNoSuchReport:
        case Refusal::kShortBuffer:
            return ERROR_INVALID_PARAMETER;
        case Refusal::kDeviceFailed:
            return ERROR_GEN_FAILURE;
    }
    return ERROR_GEN_FAILURE;
}

LONG CompletionStatus(Refusal refusal) noexcept {
    switch (refusal) {
        case Refusal::kNone:
            return kStatusSuccess;
        case Refusal::kGone:
            return kStatusDeviceNotConnected;
        case Refusal::kNoSuchReport:
        case Refusal::kShortBuffer:
            return kStatusInvalidParameter;
        default:
            return kStatusUnsuccessful;
    }
}

}  // namespace vdisplay
