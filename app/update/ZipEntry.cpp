#include "update/ZipEntry.h"

#include <algorithm>

namespace {

// Hosts whose external attributes carry DOS bits in the low byte.
constexpr unsigned kHostMsDos = 0;
constexpr unsigned kHostMacintosh = 7;
constexpr unsigned kHostNtfs = 11;
constexpr unsigned kHostVfat = 14;

constexpr uint32_t kDosReadOnly = 0x01;
constexpr uint32_t kDosHidden = 0x02;
constexpr uint32_t kDosSystem = 0x04;
constexpr uint32_t kDosDirectory = 0x10;
constexpr uint32_t kDosArchive = 0x20;

constexpr uint32_t kUnixDirectory = 1u << 30;   // S_IFDIR in the high word
constexpr uint32_t kUnixOwnerWrite = 1u << 23;  // S_IWUSR in the high word

constexpr unsigned char kTimestampTag[2] = {'U', 'T'};
constexpr size_t kExtraRecordHeader = 4;                      // 2-byte tag, 2-byte data size
constexpr size_t kTimestampMinimum = kExtraRecordHeader + 1;  // header and flags byte
constexpr unsigned kTimestampModified = 0x01;
constexpr unsigned kTimestampAccessed = 0x02;
constexpr unsigned kTimestampCreated = 0x04;

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kUnixEpochTicks = 116'444'736'000'000'000;  // 1970-01-01 in FILETIME ticks

FILETIME ToFileTime(uint64_t ticks) noexcept {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint32_t ReadLittle32(const unsigned char* p) noexcept {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

DWORD ZipAttributes(unsigned versionMadeBy, uint32_t externalAttributes) noexcept {
    const unsigned host = (versionMadeBy >> 8) & 0xFF;
    bool directory = false;
    bool archive = true;
    DWORD found = 0;
    if (host == kHostMsDos || host == kHostMacintosh || host == kHostNtfs || host == kHostVfat) {
        directory = (externalAttributes & kDosDirectory) != 0;
        archive = (externalAttributes & kDosArchive) != 0;
        found |= (externalAttributes & kDosReadOnly) ? FILE_ATTRIBUTE_READONLY : 0;
        found |= (externalAttributes & kDosHidden) ? FILE_ATTRIBUTE_HIDDEN : 0;
        found |= (externalAttributes & kDosSystem) ? FILE_ATTRIBUTE_SYSTEM : 0;
    } else {
        directory = (externalAttributes & kUnixDirectory) != 0;
        found |= (externalAttributes & kUnixOwnerWrite) ? 0 : FILE_ATTRIBUTE_READONLY;
    }
    return found | (directory ? FILE_ATTRIBUTE_DIRECTORY : 0) | (archive ? FILE_ATTRIBUTE_ARCHIVE : 0);
}

FILETIME DosTimeToFileTime(uint32_t dosDateTime) noexcept {
    const uint32_t date = dosDateTime >> 16;
    const uint32_t time = dosDateTime & 0xFFFF;
    SYSTEMTIME wall{};
    wall.wYear = static_cast<WORD>(1980 + (date >> 9));
    wall.wMonth = static_cast<WORD>((date >> 5) & 0x0F);
    wall.wDay = static_cast<WORD>(date & 0x1F);
    wall.wHour = static_cast<WORD>(time >> 11);
    wall.wMinute = static_cast<WORD>((time >> 5) & 0x3F);
    wall.wSecond = static_cast<WORD>(2 * (time & 0x1F));
    FILETIME local{};
    FILETIME utc{};
    if (!::SystemTimeToFileTime(&wall, &local) || !::LocalFileTimeToFileTime(&local, &utc)) {
        return FILETIME{};
    }
    return utc;
}

void ApplyExtendedTimestamp(const unsigned char* extra, size_t size, ZipEntry& entry) noexcept {
    size_t at = 0;
    while (size - at >= kTimestampMinimum) {
        const unsigned char* record = extra + at;
        const size_t dataSize = record[2] | (record[3] << 8);
        if (record[0] != kTimestampTag[0] || record[1] != kTimestampTag[1]) {
            at += kExtraRecordHeader + dataSize;
            if (at > size) {
                return;
            }
            continue;
        }
        // Times follow the flags byte, in flag order, as far as both the record and the field reach.
        const size_t end = std::min(size, at + kExtraRecordHeader + dataSize);
        const unsigned flags = record[kExtraRecordHeader];
        size_t next = at + kTimestampMinimum;
        FILETIME* const targets[] = {&entry.modificationTime, &entry.accessTime, &entry.creationTime};
        const unsigned bits[] = {kTimestampModified, kTimestampAccessed, kTimestampCreated};
        for (size_t i = 0; i < 3; ++i) {
            if (!(flags & bits[i])) {
                continue;
            }
            if (next > end || end - next < 4) {
                return;
            }
            *targets[i] = ToFileTime(ReadLittle32(extra + next) * kTicksPerSecond + kUnixEpochTicks);
            next += 4;
        }
        return;
    }
}
