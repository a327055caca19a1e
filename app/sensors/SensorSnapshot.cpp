#include "sensors/SensorSnapshot.h"

#include <winternl.h>

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

SensorSnapshotView MapSensorSnapshot() noexcept {
    SensorSnapshotView mapped;
    mapped.section_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               kSensorBlockSize, kSensorBlockName));
    LONGLONG size = 0;
    if (!mapped.section_ || !QuerySectionSize(mapped.section_.get(), &size) ||
        size < static_cast<LONGLONG>(kSensorBlockSize)) {
        return {};
    }
    mapped.view_.reset(::MapViewOfFile(mapped.section_.get(), FILE_MAP_READ, 0, 0, kSensorBlockSize));
    if (!mapped.view_) {
        return {};
    }
    return mapped;
}

float ReadSnapshotFloat(const SensorSnapshot& snapshot, size_t offset) noexcept {
    const auto* word = reinterpret_cast<const uint32_t*>(snapshot.bytes + offset);
    const uint32_t bits = __atomic_load_n(word, __ATOMIC_RELAXED);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}
