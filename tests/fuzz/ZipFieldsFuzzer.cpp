// An entry's DOS date and time, host attributes and local extra field: a DOS time gives a FILETIME exactly
// when its fields make a calendar date and time, and then that one; attributes stay within the five the
// extractor sets; an extended timestamp is read only inside the field (the sanitizer watches the exact-size
// copy), gives whole Unix seconds, and a field cut short never yields a time the whole field does not.

#include "FuzzCheck.h"

#include "update/ZipEntry.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kUnixEpochTicks = 116'444'736'000'000'000;
constexpr uint64_t kUntouched = 1;  // no Unix time gives this

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Year, month, day of a count of days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153;
    *day = static_cast<unsigned>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    *month = static_cast<unsigned>(shifted < 10 ? shifted + 3 : shifted - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

bool IsValidDate(unsigned year, unsigned month, unsigned day) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// The host's local time is UTC, so the FILETIME must spell the DOS fields back.
void CheckDosTime(uint32_t dos) {
    const unsigned year = 1980 + (dos >> 25);
    const unsigned month = (dos >> 21) & 0x0F;
    const unsigned day = (dos >> 16) & 0x1F;
    const unsigned hour = (dos >> 11) & 0x1F;
    const unsigned minute = (dos >> 5) & 0x3F;
    const unsigned second = 2 * (dos & 0x1F);
    const bool valid = IsValidDate(year, month, day) && hour < 24 && minute < 60 && second < 60;

    const uint64_t ticks = Ticks(DosTimeToFileTime(dos));
    FUZZ_CHECK((ticks != 0) == valid);
    if (!valid) {
        return;
    }
    FUZZ_CHECK(ticks >= kUnixEpochTicks && (ticks - kUnixEpochTicks) % kTicksPerSecond == 0);
    const int64_t seconds = static_cast<int64_t>((ticks - kUnixEpochTicks) / kTicksPerSecond);
    int64_t gotYear = 0;
    unsigned gotMonth = 0;
    unsigned gotDay = 0;
    CivilFromDays(seconds / 86400, &gotYear, &gotMonth, &gotDay);
    FUZZ_CHECK(gotYear == year && gotMonth == month && gotDay == day);
    FUZZ_CHECK(seconds % 86400 == hour * 3600 + minute * 60 + second);
}

void CheckAttributes(unsigned versionMadeBy, uint32_t external) {
    constexpr DWORD kKnown = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;
    const DWORD attributes = ZipAttributes(versionMadeBy, external);
    FUZZ_CHECK((attributes & ~kKnown) == 0);
    const unsigned host = versionMadeBy >> 8 & 0xFF;
    if (host != 0 && host != 7 && host != 11 && host != 14) {
        FUZZ_CHECK(attributes & FILE_ATTRIBUTE_ARCHIVE);
        FUZZ_CHECK(!(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)));
    }
}

ZipEntry Timestamped(const std::vector<unsigned char>& extra, size_t size) {
    ZipEntry entry;
    const FILETIME untouched{static_cast<DWORD>(kUntouched), 0};
    entry.accessTime = entry.creationTime = entry.modificationTime = untouched;
    // An exact-size copy: any read past the field is a heap overflow.
    const std::vector<unsigned char> field(extra.begin(), extra.begin() + static_cast<ptrdiff_t>(size));
    ApplyExtendedTimestamp(field.data(), field.size(), entry);
    return entry;
}

void CheckTimes(const ZipEntry& whole, const ZipEntry& cut) {
    const FILETIME ZipEntry::*const times[] = {&ZipEntry::modificationTime, &ZipEntry::accessTime,
                                               &ZipEntry::creationTime};
    for (auto time : times) {
        const uint64_t w = Ticks(whole.*time);
        const uint64_t c = Ticks(cut.*time);
        FUZZ_CHECK(w == kUntouched || ((w - kUnixEpochTicks) % kTicksPerSecond == 0 &&
                                       (w - kUnixEpochTicks) / kTicksPerSecond <= UINT32_MAX));
        FUZZ_CHECK(c == kUntouched || c == w);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    CheckDosTime(input.ConsumeIntegral<uint32_t>());
    const unsigned versionMadeBy = input.ConsumeIntegral<uint16_t>();
    CheckAttributes(versionMadeBy, input.ConsumeIntegral<uint32_t>());

    const uint16_t cut = input.ConsumeIntegral<uint16_t>();
    const std::vector<unsigned char> extra = input.ConsumeRemainingBytes<unsigned char>();
    CheckTimes(Timestamped(extra, extra.size()), Timestamped(extra, cut % (extra.size() + 1)));
    return 0;
}
