// An entry's time fields read straight from their bytes: DOS dates that name no day, and extended timestamp
// records that promise more than their field holds.

#include "update/ZipEntry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr uint64_t kUnixEpochTicks = 116'444'736'000'000'000;

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t UnixTicks(uint32_t seconds) {
    return seconds * 10'000'000ull + kUnixEpochTicks;
}

uint32_t DosDateTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                     unsigned second) {
    return (year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second / 2;
}

TEST(ZipEntryFields, DosFieldsThatNameNoTimeGiveNoTime) {
    // (29 February of a common year is left out: Windows refuses it, wine takes it for 1 March.)
    const uint32_t none[] = {
        DosDateTime(2020, 0, 15, 12, 0, 0),  DosDateTime(2020, 13, 15, 12, 0, 0),
        DosDateTime(2020, 6, 0, 12, 0, 0),   DosDateTime(2020, 4, 31, 12, 0, 0),
        DosDateTime(2020, 6, 15, 24, 0, 0),  DosDateTime(2020, 6, 15, 12, 60, 0),
        DosDateTime(2020, 6, 15, 12, 0, 60),
    };
    for (uint32_t dos : none) {
        EXPECT_EQ(Ticks(DosTimeToFileTime(dos)), 0u) << std::hex << dos;
    }
    EXPECT_NE(Ticks(DosTimeToFileTime(DosDateTime(2020, 2, 29, 23, 59, 58))), 0u);
}

// A "UT" record: tag, declared data size, flags, then the times given.
std::vector<unsigned char> Ut(unsigned flags, std::vector<uint32_t> times, int declared = -1) {
    const size_t size = declared >= 0 ? static_cast<size_t>(declared) : 1 + 4 * times.size();
    std::vector<unsigned char> record = {'U', 'T', static_cast<unsigned char>(size),
                                         static_cast<unsigned char>(size >> 8),
                                         static_cast<unsigned char>(flags)};
    for (uint32_t t : times) {
        for (int shift = 0; shift < 32; shift += 8) {
            record.push_back(static_cast<unsigned char>(t >> shift));
        }
    }
    return record;
}

std::vector<unsigned char> operator+(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ZipEntryFields, ExtendedTimestampsAreReadOnlyWhereRecordAndFieldHoldThem) {
    constexpr uint64_t kDos = 1;
    const uint64_t m = UnixTicks(1'600'000'000);
    const uint64_t a = UnixTicks(1'600'000'100);
    const uint64_t c = UnixTicks(0xFFFFFFFF);
    const std::vector<unsigned char> other = {0xFE, 0xCA, 2, 0, 'U', 'T'};
    struct Case {
        const char* label;
        std::vector<unsigned char> extra;
        uint64_t modification, access, creation;
    };
    const Case cases[] = {
        {"all three", Ut(7, {1'600'000'000, 1'600'000'100, 0xFFFFFFFF}), m, a, c},
        {"access only", Ut(2, {1'600'000'100}), kDos, a, kDos},
        {"declared size covers one", Ut(7, {1'600'000'000, 1, 2}, 5), m, kDos, kDos},
        {"field ends inside the time",
         [&] {
             auto e = Ut(1, {1'600'000'000});
             e.pop_back();
             return e;
         }(),
         kDos, kDos, kDos},
        {"after another record", other + Ut(1, {1'600'000'000}), m, kDos, kDos},
        {"another record runs past the field",
         std::vector<unsigned char>{0xFE, 0xCA, 0xFF, 0xFF, 0} + Ut(1, {5}), kDos, kDos, kDos},
        {"header without flags", {'U', 'T', 0, 0}, kDos, kDos, kDos},
    };
    for (const Case& k : cases) {
        ZipEntry entry;
        entry.modificationTime = entry.accessTime = entry.creationTime =
            FILETIME{static_cast<DWORD>(kDos), 0};
        // An exact-size copy, so that a read past the field shows under the sanitizers.
        const std::vector<unsigned char> field = k.extra;
        ApplyExtendedTimestamp(field.data(), field.size(), entry);
        EXPECT_EQ(Ticks(entry.modificationTime), k.modification) << k.label;
        EXPECT_EQ(Ticks(entry.accessTime), k.access) << k.label;
        EXPECT_EQ(Ticks(entry.creationTime), k.creation) << k.label;
    }
}

}  // namespace
