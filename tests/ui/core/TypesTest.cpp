#include "core/Types.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CString, CopiesShareUntilOneChanges) {
    CString a(L"Kelvaro");
    CString b = a;
    EXPECT_EQ(a.GetString(), b.GetString());  // one shared buffer
    b += L"-DIG";
    EXPECT_STREQ(a, L"Kelvaro");
    EXPECT_STREQ(b, L"Kelvaro-DIG");
    a.Empty();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_STREQ(a, L"");
    EXPECT_STREQ(b, L"Kelvaro-DIG");
}

TEST(CString, NullPointersAreEmptyStrings) {
    CString s(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.GetLength(), 0);
    s += static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(s == L"");
    EXPECT_EQ(s.Compare(nullptr), 0);
}

TEST(CString, FormatTakesWideArgumentsAndAnyLength) {
    CString s;
    s.Format(L"%ls:v%ls, %ls", L"Detected the latest version", L"1.0.0.6", L"update now?");
    EXPECT_STREQ(s, L"Detected the latest version:v1.0.0.6, update now?");
    s.Format(L"%d Device", 2);
    EXPECT_STREQ(s, L"2 Device");

    const std::wstring longText(5000, L'x');
    s.Format(L"<%ls>", longText.c_str());
    EXPECT_EQ(s.GetLength(), 5002);
}

TEST(CString, SubstringsClampToTheText) {
    const CString s(L"VID_1A2C&PID_4C84");
    EXPECT_EQ(s.Find(L"PID_"), 9);
    EXPECT_EQ(s.Find(L"nope"), -1);
    EXPECT_EQ(s.Find(L"V", 100), -1);
    EXPECT_STREQ(s.Mid(9), L"PID_4C84");
    EXPECT_STREQ(s.Mid(-5, 3), L"VID");
    EXPECT_STREQ(s.Left(100), L"VID_1A2C&PID_4C84");
    EXPECT_STREQ(s.Right(4), L"4C84");
    EXPECT_EQ(s.GetAt(99), L'\0');
    CString lower(L"vid_1a2c");
    lower.MakeUpper();
    EXPECT_STREQ(lower, L"VID_1A2C");
}

TEST(CRect, ExcludesRightAndBottomEdges) {
    const CRect r(360, 15, 380, 35);
    EXPECT_EQ(r.Width(), 20);
    EXPECT_EQ(r.Height(), 20);
    EXPECT_TRUE(r.PtInRect(CPoint(370, 25)));
    EXPECT_TRUE(r.PtInRect(CPoint(360, 15)));
    EXPECT_FALSE(r.PtInRect(CPoint(380, 25)));
    EXPECT_FALSE(r.PtInRect(CPoint(370, 35)));
    CRect n(10, 10, 0, 0);
    n.NormalizeRect();
    EXPECT_TRUE(n == CRect(0, 0, 10, 10));
}

}  // namespace
