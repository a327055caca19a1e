// The rules that decide what an update check offers and what a download may be called.

#include "update/Versions.h"

#include <gtest/gtest.h>

namespace {

TEST(Versions, CompareReadsLeadingDigitsAndCountsComponents) {
    struct Case {
        const wchar_t* theirs;
        int result;
    };
    const Case cases[] = {
        {L"1.0.0.6", 1},   {L"1.0.0.5", 0},           {L"1.0.0.4", -1},  {L"1.0.1", 2},
        {L"1.0.0.6\n", 1}, {L"1.0.0.5.0", 2},         {L"1..0.5", 0},    {L"1.0.0.6beta", 1},
        {L" 2.0.0.0", 1},  {L"1.0.0.99999999999", 1}, {L"1.0.0.-7", -1}, {L"Not Found", 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareVersion(L"1.0.0.5", c.theirs), c.result) << c.theirs;
    }
}

TEST(Versions, DisplayFirmwareIsItsHexadecimalDigitsReadAsDecimal) {
    struct Case {
        const wchar_t* server;
        int display;
        bool newer;
    };
    const Case cases[] = {
        {L"103", 0x0102, true},   {L"102", 0x0102, false},    {L"2", 0x001A, true},
        {L"1", 0x001A, false},    {L"1", 0xFFFF, true},       {L"0", 0xFFFF, false},
        {L"9999", 0x9999, false}, {L"103\r\n", 0x0102, true}, {L"abc", 0x0000, false},
        {L"1", -1, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsFirmwareNewer(c.server, c.display), c.newer)
            << c.server << " vs " << std::hex << c.display;
    }
}

TEST(Versions, OnlyPlainVersionsNameAPackage) {
    struct Case {
        const wchar_t* text;
        const wchar_t* name;
    };
    const Case cases[] = {
        {L"1.0.0.6", L"1.0.0.6"},
        {L"1.0.0.6\r\n", L"1.0.0.6"},
        {L"v2-rc_1", L"v2-rc_1"},
        {L"..\\..\\x", L""},
        {L"a/b", L""},
        {L"1.0\n0", L""},
        {L"1 0", L""},
        {L".5", L""},
        {L"1..2", L""},
        {L"x?y#z", L""},
        {L"C:x", L""},
        {L"\n", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PackageVersion(c.text), c.name) << c.text;
    }
}

}  // namespace
