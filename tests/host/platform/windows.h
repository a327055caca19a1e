#pragma once

// The few Windows types, constants and calls that the program's pure logic uses, for building that logic
// natively on Linux (tests/host). Only what those files need; WindowsOnHost.cpp implements the calls.
//
// wchar_t is 32 bits wide here, but every wide string still holds UTF-16 code units (a character beyond the
// BMP is two surrogate units), exactly as on Windows, so lengths and limits count the same.

#include <cstdint>

using BOOL = int;
using BYTE = unsigned char;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = unsigned int;
using LONG = int32_t;
using LONGLONG = int64_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr DWORD MAX_PATH = 260;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;

// Text conversion. The ANSI code page is 1252, as in the test prefix; UTF-8 is decoded strictly (no
// over-long forms, no surrogates, nothing beyond U+10FFFF), and an invalid sequence fails the call under
// MB_ERR_INVALID_CHARS and becomes U+FFFD without it.
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, wchar_t* wide, int units);
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int units, char* text, int bytes,
                        const char* defaultChar, BOOL* usedDefault);

// Ordinal comparison; ignoring case folds ASCII letters only (Windows folds by its upper-case table, which
// agrees for the ASCII names and paths this logic compares).
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;
int CompareStringOrdinal(const wchar_t* a, int aUnits, const wchar_t* b, int bUnits, BOOL ignoreCase);

// Calendar time: the fields are checked as Windows checks them. The host's local time is UTC.
BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);
