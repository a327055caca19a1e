// Text attributes of captioned controls: defaults, repaint rules, fonts, brushes and skin images.

#include "ProbeControl.h"
#include "SkinImages.h"
#include "controls/MControlFont.h"
#include "win/ScopeGuards.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <limits>
#include <string>

using namespace testing_support;
using Tessel::MControlFont;

namespace {

class Caption : public MControlFont {
  public:
    Caption(MObject* parent, const wchar_t* title, int visible = 1)
        : MControlFont(parent, 1, CRect(0, 0, 100, 30), title, visible, 1, 1) {}
    void DrawControl(HDC&, CRect) override {}
};

class TextAttributes : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(gdiplus_.ok()); }
    void TearDown() override {
        if (!strip_.empty())
            ::DeleteFileW((testing_support::SkinFolder() + strip_).c_str());
    }

    // Writes a w × h PNG into the skin folder and returns its relative name; it goes with the test.
    std::wstring WriteSkinImage(const wchar_t* name, int w, int h) {
        strip_ = name;
        EXPECT_TRUE(testing_support::WriteSkinImage(strip_, w, h));
        return name;
    }

    GdiplusSession gdiplus_;
    std::wstring strip_;
};

}  // namespace

TEST_F(TextAttributes, DefaultsAfterConstruction) {
    Owner owner;
    Caption c(&owner, nullptr);
    EXPECT_EQ(CString(L""), c.GetTitle());
    EXPECT_EQ(CString(L"Arial"), c.GetTextFont());
    EXPECT_EQ(14, c.GetFontWidth());
    EXPECT_EQ(Gdiplus::FontStyleRegular, c.GetFontStyle());
    EXPECT_EQ(0xFFFFFFFFu, c.GetTextColor());
    ASSERT_NE(nullptr, c.GetTextBrush());
    Gdiplus::Color colour;
    c.GetTextBrush()->GetColor(&colour);
    EXPECT_EQ(0xFFFFFFFFu, colour.GetValue());
    UINT h = 9, v = 9;
    c.GetAlignment(h, v);
    EXPECT_EQ(0u, h);
    EXPECT_EQ(4u, v);
    EXPECT_EQ(Gdiplus::TextRenderingHintClearTypeGridFit, c.GetTextRenderingHint());
    EXPECT_EQ(4, c.GetImageCount());
    EXPECT_EQ(CSize(0, 0), c.GetImageSize());
    EXPECT_EQ(nullptr, c.GetImage());
    EXPECT_TRUE(c.GetImagePath().IsEmpty());
    EXPECT_EQ(1, c.IsClass(L"MControl"));
    Caption titled(&owner, L"Kelvaro-DIG");
    EXPECT_EQ(CString(L"Kelvaro-DIG"), titled.GetTitle());
}

TEST_F(TextAttributes, AlignmentRepaintsOnlyWhenAValueChanges) {
    Owner owner;
    Caption c(&owner, L"t");
    c.SetAlignment(0);
    c.SetVAlignment(4);
    c.SetAlignment(0, 4);
    EXPECT_TRUE(owner.updates.empty());
    c.SetAlignment(1);
    ASSERT_EQ(1u, owner.updates.size());
    EXPECT_EQ(1, owner.updates[0].discard);
    c.SetAlignment(1);
    EXPECT_EQ(1u, owner.updates.size());
    c.SetAlignment(1, 8);
    EXPECT_EQ(2u, owner.updates.size());
    c.SetAlignment(3, 8);  // kept as given
    UINT h = 0, v = 0;
    c.GetAlignment(h, v);
    EXPECT_EQ(3u, h);
    EXPECT_EQ(8u, v);

    Gdiplus::StringFormat format;
    c.SetAlignment(2, 0);
    c.GetStringFormat(format);
    EXPECT_EQ(Gdiplus::StringAlignmentFar, format.GetAlignment());
    EXPECT_EQ(Gdiplus::StringAlignmentNear, format.GetLineAlignment());
    c.SetAlignment(1, 4);
    c.GetStringFormat(format);
    EXPECT_EQ(Gdiplus::StringAlignmentCenter, format.GetAlignment());
    EXPECT_EQ(Gdiplus::StringAlignmentCenter, format.GetLineAlignment());

    Caption hidden(&owner, L"t", 0);
    const size_t before = owner.updates.size();
    hidden.SetAlignment(2);
    EXPECT_EQ(before, owner.updates.size());
}

TEST_F(TextAttributes, TitleRepaintsAndColourDoesNot) {
    Owner owner;
    Caption c(&owner, L"old");
    c.SetTitle(L"old");
    ASSERT_EQ(1u, owner.updates.size());
    EXPECT_EQ(1, owner.updates[0].discard);
    c.SetTitle(nullptr);
    EXPECT_EQ(CString(L""), c.GetTitle());

    const size_t before = owner.updates.size();
    c.SetTextColor(Gdiplus::Color(0xFF141414));
    EXPECT_EQ(before, owner.updates.size());
    EXPECT_EQ(0xFF141414u, c.GetTextColor());
    Gdiplus::Color colour;
    ASSERT_NE(nullptr, c.GetTextBrush());
    c.GetTextBrush()->GetColor(&colour);
    EXPECT_EQ(0xFF141414u, colour.GetValue());

    // Font setters do not repaint.
    c.SetFont(nullptr, 20, Gdiplus::FontStyleBold);
    c.SetTextFont(CString(L"DejaVu Sans"));
    c.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    EXPECT_EQ(before, owner.updates.size());
    EXPECT_EQ(CString(L"DejaVu Sans"), c.GetTextFont());
    EXPECT_EQ(20, c.GetFontWidth());
}

TEST_F(TextAttributes, GdiFontFollowsSizeAndStyleAndIsCachedUntilCleared) {
    Owner owner;
    Caption c(&owner, L"t");
    LOGFONTW stock = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(stock), &stock);
    c.SetFontStyle(static_cast<Gdiplus::FontStyle>(Gdiplus::FontStyleBold | Gdiplus::FontStyleItalic |
                                                   Gdiplus::FontStyleUnderline));
    HFONT font = c.GetGDIFont();
    ASSERT_NE(nullptr, font);
    LOGFONTW lf = {};
    ASSERT_NE(0, ::GetObjectW(font, sizeof(lf), &lf));
    EXPECT_EQ(-14, lf.lfHeight);
    EXPECT_EQ(stock.lfWeight + 700, lf.lfWeight);
    EXPECT_TRUE(lf.lfItalic);
    EXPECT_TRUE(lf.lfUnderline);
    EXPECT_EQ(DEFAULT_CHARSET, lf.lfCharSet);
    EXPECT_STREQ(L"Arial", lf.lfFaceName);

    c.SetFontWidth(30);
    EXPECT_EQ(font, c.GetGDIFont());
    ::GetObjectW(c.GetGDIFont(), sizeof(lf), &lf);
    EXPECT_EQ(-14, lf.lfHeight);
    c.ClearGDIFont();
    ::GetObjectW(c.GetGDIFont(), sizeof(lf), &lf);
    EXPECT_EQ(-30, lf.lfHeight);
    c.SetFontWidth(12);
    c.SetTitle(L"new");  // a new title drops the cached font as well
    ::GetObjectW(c.GetGDIFont(), sizeof(lf), &lf);
    EXPECT_EQ(-12, lf.lfHeight);
}

TEST_F(TextAttributes, ScaledEmSizeIsTruncated) {
    EXPECT_EQ(21.0f, MControlFont::ScaledFontSize(14, 1.5f));
    EXPECT_EQ(17.0f, MControlFont::ScaledFontSize(14, 1.25f));
    EXPECT_EQ(14.0f, MControlFont::ScaledFontSize(14, 1.0f));
    EXPECT_EQ(0.0f, MControlFont::ScaledFontSize(14, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(0.0f, MControlFont::ScaledFontSize(-3, 1.0f));
    EXPECT_EQ(65535.0f, MControlFont::ScaledFontSize(INT_MAX, 1e30f));
}

TEST_F(TextAttributes, FontFamilyComesFromTheEngine) {
    Tessel::PaintManager engine;
    Owner owner;
    Caption c(&owner, L"t");
    EXPECT_EQ(nullptr, c.GetFontFamily(L"DejaVu Sans"));
    EXPECT_EQ(nullptr, c.CreateTextFont());
    c.SetManager(&engine);
    Gdiplus::FontFamily* family = c.GetFontFamily(L"DejaVu Sans");
    ASSERT_NE(nullptr, family);
    wchar_t name[LF_FACESIZE] = {};
    family->GetFamilyName(name);
    EXPECT_STREQ(L"DejaVu Sans", name);
    EXPECT_NE(engine.FindTempFont(L"DejaVu Sans"), family);  // the control keeps its own copy
    // Faces the system lacks fall back to the library's own font: text is never dropped.
    for (const wchar_t* missing : {L"No Such Family 7", static_cast<const wchar_t*>(nullptr)}) {
        Gdiplus::FontFamily* fallback = c.GetFontFamily(missing);
        ASSERT_NE(nullptr, fallback);
        fallback->GetFamilyName(name);
        EXPECT_STREQ(L"Open Sans Semibold", name);
    }

    c.SetFont(L"DejaVu Sans", 14, Gdiplus::FontStyleBold);
    auto font = c.CreateTextFont();
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(14.0f, font->GetSize());
    EXPECT_EQ(Gdiplus::UnitPixel, font->GetUnit());
    EXPECT_EQ(Gdiplus::FontStyleBold, font->GetStyle());
}

TEST_F(TextAttributes, SkinImageStripFromTheEngineCache) {
    Tessel::PaintManager engine;
    Owner owner;
    Caption c(&owner, L"t");
    const std::wstring name = WriteSkinImage(L"ctl_test_button.png", 400, 30);
    EXPECT_EQ(0, c.SetImage(name.c_str(), 4));  // no engine yet

    c.SetManager(&engine);
    const size_t before = owner.updates.size();
    EXPECT_EQ(1, c.SetImage(name.c_str(), 4));
    EXPECT_EQ(CSize(100, 30), c.GetImageSize());
    EXPECT_EQ(4, c.GetImageCount());
    ASSERT_NE(nullptr, c.GetImage());
    EXPECT_EQ(before + 1, owner.updates.size());
    EXPECT_EQ(1, owner.updates.back().discard);
    Gdiplus::Image* image = c.GetImage();

    // A missing image or a frame count of 0 leaves the previous image in place.
    EXPECT_EQ(0, c.SetImage(L"no_such_image.png", 1));
    EXPECT_EQ(0, c.SetImage(name.c_str(), 0));
    EXPECT_EQ(0, c.SetImage(nullptr, 1));
    EXPECT_EQ(0, c.SetImage(101, CString(L"PNG"), 1));  // the test program carries no images
    EXPECT_EQ(image, c.GetImage());
    EXPECT_EQ(CSize(100, 30), c.GetImageSize());

    // A second control gets the same cached image.
    Caption other(&owner, L"u");
    other.SetManager(&engine);
    EXPECT_EQ(1, other.SetImage(name.c_str(), 4));
    EXPECT_EQ(image, other.GetImage());

    c.SetImageCount(1);
    EXPECT_EQ(1, c.GetImageCount());
    EXPECT_EQ(CSize(100, 30), c.GetImageSize());
}
