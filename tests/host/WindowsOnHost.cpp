// The Windows calls of platform/windows.h, for the host build: what the program's pure logic needs of them,
// with Windows' own rules for what is valid.

#include <windows.h>

#include <string>

namespace {

// Windows-1252 at 0x80-0x9F; every other byte is the code point of the same number. The five bytes 1252
// leaves undefined map to their C1 control, as Windows maps them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

// One UTF-8 sequence at text[at]; false if it is not a valid one (*length is then 1).
bool DecodeUtf8(const unsigned char* text, size_t size, size_t at, char32_t* c, size_t* length) {
    *length = 1;
    const unsigned char lead = text[at];
    if (lead < 0x80) {
        *c = lead;
        return true;
    }
    size_t count = 0;
    char32_t value = 0;
    char32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1, value = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2, value = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 3, value = lead & 0x07, lowest = 0x10000;
    } else {
        return false;
    }
    if (size - at <= count) {
        return false;
    }
    for (size_t i = 1; i <= count; ++i) {
        if ((text[at + i] & 0xC0) != 0x80) {
            return false;
        }
        value = (value << 6) | (text[at + i] & 0x3F);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    *c = value;
    *length = count + 1;
    return true;
}

// Copies the converted units out as Windows does: only the length when units is 0, nothing and 0 when the
// buffer is too small.
template <typename Unit, typename Source>
int Deliver(const Source& converted, Unit* out, int units) {
    const int needed = static_cast<int>(converted.size());
    if (units == 0) {
        return needed;
    }
    if (units < needed) {
        return 0;
    }
    for (int i = 0; i < needed; ++i) {
        out[i] = static_cast<Unit>(converted[static_cast<size_t>(i)]);
    }
    return needed;
}

template <typename Unit>
size_t LengthOf(const Unit* text, int given) {
    if (given >= 0) {
        return static_cast<size_t>(given);
    }
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length + 1;  // -1 means "up to and with the terminator"
}

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1601-01-01 to the given date of the Gregorian calendar.
int64_t DaysSince1601(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = year / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t daysSince1970 = era * 146097 + dayOfEra - 719468;
    return daysSince1970 + 134774;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, wchar_t* wide, int units) {
    if (!text || bytes == 0 || units < 0 || (codePage != CP_ACP && codePage != CP_UTF8)) {
        return 0;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    const size_t size = LengthOf(text, bytes);
    std::u16string converted;
    for (size_t at = 0; at < size;) {
        if (codePage == CP_ACP) {
            const unsigned char b = in[at++];
            converted.push_back(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char16_t{b});
            continue;
        }
        char32_t c = 0;
        size_t length = 0;
        if (!DecodeUtf8(in, size, at, &c, &length)) {
            if (flags & MB_ERR_INVALID_CHARS) {
                return 0;
            }
            c = kReplacement;
        }
        AppendUtf16(converted, c);
        at += length;
    }
    return Deliver(converted, wide, units);
}

int WideCharToMultiByte(UINT codePage, DWORD, const wchar_t* wide, int units, char* text, int bytes,
                        const char*, BOOL*) {
    if (!wide || units == 0 || bytes < 0 || codePage != CP_UTF8) {
        return 0;
    }
    const size_t size = LengthOf(wide, units);
    std::string converted;
    for (size_t at = 0; at < size; ++at) {
        char32_t c = static_cast<char32_t>(wide[at]);
        if (c >= 0xD800 && c <= 0xDBFF && at + 1 < size && (wide[at + 1] & ~0x3FF) == 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[++at]) & 0x3FF);
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = kReplacement;  // a lone surrogate
        }
        if (c < 0x80) {
            converted.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            converted.push_back(static_cast<char>(0xC0 | (c >> 6)));
            converted.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            converted.push_back(static_cast<char>(0xE0 | (c >> 12)));
            converted.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            converted.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            converted.push_back(static_cast<char>(0xF0 | (c >> 18)));
            converted.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            converted.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            converted.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return Deliver(converted, text, bytes);
}

int CompareStringOrdinal(const wchar_t* a, int aUnits, const wchar_t* b, int bUnits, BOOL ignoreCase) {
    if (!a || !b) {
        return 0;
    }
    const auto fold = [ignoreCase](wchar_t c) {
        return ignoreCase && c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    };
    // -1: up to the terminator, which is not compared.
    const size_t aSize = aUnits < 0 ? LengthOf(a, aUnits) - 1 : static_cast<size_t>(aUnits);
    const size_t bSize = bUnits < 0 ? LengthOf(b, bUnits) - 1 : static_cast<size_t>(bUnits);
    for (size_t i = 0; i < aSize && i < bSize; ++i) {
        const wchar_t x = fold(a[i]);
        const wchar_t y = fold(b[i]);
        if (x != y) {
            return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
        }
    }
    return aSize == bSize ? CSTR_EQUAL : aSize < bSize ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime) {
    static constexpr unsigned kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const SYSTEMTIME& t = *time;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wHour > 23 ||
        t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999) {
        return FALSE;
    }
    const unsigned lastDay = kDaysInMonth[t.wMonth - 1] + (t.wMonth == 2 && IsLeapYear(t.wYear) ? 1 : 0);
    if (t.wDay > lastDay) {
        return FALSE;
    }
    const int64_t seconds =
        DaysSince1601(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    const uint64_t ticks = static_cast<uint64_t>(seconds) * 10'000'000 + t.wMilliseconds * 10'000ull;
    *fileTime = FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
    *utc = *local;
    return TRUE;
}
