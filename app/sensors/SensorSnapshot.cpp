#include "sensors/SensorSnapshot.h"

#include "core/Handle.h"

#include <winternl.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The exact size of a section object. Views are page-granular, so only the section itself can tell whether
// a block created by someone else really holds 772 bytes.
bool QuerySectionSize(HANDLE section, LONGLONG* size) noexcept {
    struct SectionBasicInformation {
        PVOID base;
        ULONG attributes;
        LARGE_INTEGER size;
    };
    using NtQuerySectionFn = LONG(NTAPI*)(HANDLE, int, PVOID, SIZE_T, PSIZE_T);
    static const auto query = reinterpret_cast<NtQuerySectionFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySection")));
    if (!query) {
        return false;
    }
    SectionBasicInformation info{};
    if (query(section, 0 /* SectionBasicInformation */, &info, sizeof(info), nullptr) < 0) {
        return false;
    }
    *size = info.size.QuadPart;
    return true;
}

}  // namespace

bool MapSensorSnapshot(HANDLE* mapping, void** view) noexcept {
    *mapping = nullptr;
    *view = nullptr;
    UniqueHandle section(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              kSensorBlockSize, kSensorBlockName));
    if (!section) {
        return false;
    }
    LONGLONG size = 0;
    if (!QuerySectionSize(section.get(), &size) || size < static_cast<LONGLONG>(kSensorBlockSize)) {
        return false;
    }
    void* address = ::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, kSensorBlockSize);
    if (!address) {
        return false;
    }
    *mapping = section.release();
    *view = address;
    return true;
}

float ReadSnapshotFloat(const SensorSnapshot& snapshot, size_t offset) noexcept {
    const auto* word = reinterpret_cast<const uint32_t*>(snapshot.bytes + offset);
    const uint32_t bits = __atomic_load_n(word, __ATOMIC_RELAXED);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

int TruncateReading(float value) noexcept {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0f) {
        return INT_MAX;
    }
    if (value < -2147483648.0f) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}
