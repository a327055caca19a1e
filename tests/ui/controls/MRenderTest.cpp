// Drawing helpers checked from the pixels they leave in 32-bit DIB sections, not from the calls they make.

#include "controls/MRender.h"
#include "core/Manager.h"
#include "TestSupport.h"
#include "win/ScopeGuards.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using Tessel::MRender;

namespace {

class GdiplusEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { gdiplus_ = std::make_unique<GdiplusSession>(); }
    void TearDown() override { gdiplus_.reset(); }

  private:
    std::unique_ptr<GdiplusSession> gdiplus_;
};
const auto* const kGdiplus = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

// A w x h ARGB DIB selected into a memory DC; pixels read back as 0xAARRGGBB.
class Dib {
  public:
    Dib(int w, int h)
        : w_(w),
          h_(h),
          memory_(::CreateCompatibleDC(nullptr)),
          dc_(memory_.get()),
          bitmap_(MRender::CreateARGB32Bitmap(dc_, w, h, &bits_)),
          selected_(dc_, bitmap_.get()) {}

    HDC& dc() { return dc_; }
    HBITMAP bitmap() const { return bitmap_.get(); }
    BYTE* bits() const { return bits_; }
    // Bottom-up rows: row y of the picture is stored at h - 1 - y.
    DWORD* row(int y) const { return reinterpret_cast<DWORD*>(bits_) + static_cast<size_t>(h_ - 1 - y) * w_; }
    DWORD at(int x, int y) const { return row(y)[x]; }
    DWORD rgb(int x, int y) const { return at(x, y) & 0x00FFFFFF; }
    void fill(DWORD argb) {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                row(y)[x] = argb;
    }
    // GDI+ drawing straight onto the DIB's pixels, premultiplied, so alpha is kept exactly.
    std::unique_ptr<Gdiplus::Bitmap> wrap() const {
        return std::make_unique<Gdiplus::Bitmap>(w_, h_, -w_ * 4, PixelFormat32bppPARGB,
                                                 reinterpret_cast<BYTE*>(row(0)));
    }

  private:
    int w_, h_;
    BYTE* bits_ = nullptr;  // set by the bitmap's creation below
    UniqueMemoryDC memory_;
    HDC dc_;  // memory_'s, as the drawing calls take it
    UniqueBitmap bitmap_;
    SelectionScope selected_;
};

int Blue(DWORD argb) {
    return static_cast<int>(argb & 0xFF);
}

// A source image whose every pixel differs from its neighbours.
std::unique_ptr<Gdiplus::Bitmap> PatternImage(int w, int h, int seed) {
    auto image = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppARGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image->SetPixel(x, y,
                            Gdiplus::Color(255, (x * 37 + seed) & 0xFF, (y * 53 + seed) & 0xFF,
                                           (x * y * 11 + seed) & 0xFF));
    return image;
}

DWORD SourceRgb(Gdiplus::Bitmap& image, int x, int y) {
    Gdiplus::Color c;
    image.GetPixel(x, y, &c);
    return c.GetValue() & 0x00FFFFFF;
}

TEST(MRenderImageFrame, CornersKeepTheirPixelsAtAnySize) {
    constexpr int e = 6;
    auto source = PatternImage(48, 24, 0);  // two 24 x 24 frames side by side
    for (const CRect& dst : {CRect(10, 10, 90, 60), CRect(3, 4, 40, 100)}) {
        Dib dib(100, 110);
        dib.fill(0);
        {
            auto target = dib.wrap();
            Gdiplus::Graphics g(target.get());
            MRender::DrawImageFrame(g, source.get(), dst, 24, 0, 24, 24, e);
        }
        for (int y = 0; y < e; ++y) {
            for (int x = 0; x < e; ++x) {
                SCOPED_TRACE(testing::Message() << x << "," << y);
                EXPECT_EQ(dib.rgb(dst.left + x, dst.top + y), SourceRgb(*source, 24 + x, y));
                EXPECT_EQ(dib.rgb(dst.right - e + x, dst.top + y), SourceRgb(*source, 48 - e + x, y));
                EXPECT_EQ(dib.rgb(dst.left + x, dst.bottom - e + y), SourceRgb(*source, 24 + x, 24 - e + y));
                EXPECT_EQ(dib.rgb(dst.right - e + x, dst.bottom - e + y),
                          SourceRgb(*source, 48 - e + x, 24 - e + y));
            }
        }
        // The frame fills its rectangle and nothing outside it.
        EXPECT_EQ(dib.at(dst.left + dst.Width() / 2, dst.top + dst.Height() / 2) >> 24, 0xFFu);
        EXPECT_EQ(dib.at(dst.left - 1, dst.top), 0u);
        EXPECT_EQ(dib.at(dst.right, dst.bottom - 1), 0u);
        EXPECT_EQ(dib.at(dst.left, dst.bottom), 0u);
    }
}

TEST(MRenderImageFrame, SeparateInsetsAndTooSmallTargets) {
    auto source = PatternImage(30, 20, 7);
    Dib dib(60, 60);
    dib.fill(0);
    {
        auto target = dib.wrap();
        Gdiplus::Graphics g(target.get());
        MRender::DrawImageFrameMID(g, source.get(), CRect(0, 0, 50, 40), 0, 0, 30, 20, 3, 4, 5, 6);
        // Smaller than two corners: corners overlap, the last drawn (bottom-right) wins, and no edge is
        // drawn.
        MRender::DrawImageFrame(g, source.get(), CRect(50, 50, 58, 58), 0, 0, 30, 20, 6);
        MRender::DrawImageFrame(g, nullptr, CRect(0, 50, 10, 60), 0, 0, 30, 20, 2);
    }
    EXPECT_EQ(dib.rgb(2, 3), SourceRgb(*source, 2, 3));      // top-left 3 x 4
    EXPECT_EQ(dib.rgb(49, 3), SourceRgb(*source, 29, 3));    // top-right 5 x 4
    EXPECT_EQ(dib.rgb(45, 34), SourceRgb(*source, 25, 14));  // bottom-right 5 x 6
    EXPECT_EQ(dib.rgb(0, 39), SourceRgb(*source, 0, 19));    // bottom-left 3 x 6
    EXPECT_EQ(dib.rgb(57, 57), SourceRgb(*source, 29, 19));
    EXPECT_EQ(dib.rgb(52, 52), SourceRgb(*source, 24, 14));  // also under the top-left corner
    EXPECT_EQ(dib.at(5, 55), 0u);                            // the null image drew nothing
}

// White source over a black target: each row's (column's) blue level is the alpha it was blended with.
struct TransitionRig {
    Dib target{12, 20};
    Dib source{12, 20};
    TransitionRig() {
        target.fill(0xFF000000);
        source.fill(0xFFFFFFFF);
    }
};

TEST(MRenderTransition, EqualEndsBlendEveryRowAtTheSameAlpha) {
    TransitionRig rig;
    CRect rect(0, 0, 12, 20);
    EXPECT_EQ(MRender::DrawVerticalTransition(rig.target.dc(), rig.source.dc(), rect, rect, 80, 80), 51);
    for (int y = 0; y < 20; ++y) {
        EXPECT_NEAR(Blue(rig.target.at(0, y)), 51, 1) << y;
        EXPECT_NEAR(Blue(rig.target.at(11, y)), 51, 1) << y;
    }
}

TEST(MRenderTransition, OpaqueTopFadesTowardsTheBottom) {
    TransitionRig rig;
    CRect rect(0, 0, 12, 20);
    int last = MRender::DrawVerticalTransition(rig.target.dc(), rig.source.dc(), rect, rect, 0, 100);
    EXPECT_EQ(Blue(rig.target.at(5, 0)), 255);
    for (int y = 1; y < 20; ++y) {
        EXPECT_LT(Blue(rig.target.at(5, y)), Blue(rig.target.at(5, y - 1))) << y;
    }
    EXPECT_LE(Blue(rig.target.at(5, 19)), 255 / 20 + 1);
    EXPECT_NEAR(Blue(rig.target.at(5, 19)), last, 1);

    // Reversed ends: transparent at the top, opaque towards the bottom.
    TransitionRig reversed;
    MRender::DrawVerticalTransition(reversed.target.dc(), reversed.source.dc(), rect, rect, 100, 0);
    EXPECT_EQ(Blue(reversed.target.at(5, 0)), 0);
    EXPECT_GT(Blue(reversed.target.at(5, 19)), 230);
}

TEST(MRenderTransition, HorizontalRunsColumnByColumnAndEmptyDrawsNothing) {
    TransitionRig rig;
    CRect rect(0, 0, 12, 20);
    MRender::DrawHorizontalTransition(rig.target.dc(), rig.source.dc(), rect, rect, 0, 100);
    EXPECT_EQ(Blue(rig.target.at(0, 7)), 255);
    EXPECT_EQ(Blue(rig.target.at(0, 19)), 255);
    EXPECT_LT(Blue(rig.target.at(11, 7)), 30);

    TransitionRig empty;
    EXPECT_EQ(MRender::DrawVerticalTransition(empty.target.dc(), empty.source.dc(), CRect(0, 5, 12, 5), rect,
                                              0, 100),
              255);
    EXPECT_EQ(MRender::DrawHorizontalTransition(empty.target.dc(), empty.source.dc(), CRect(4, 0, 2, 20),
                                                rect, 0, 100),
              255);
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(Blue(empty.target.at(3, y)), 0);

    // Percentages outside 0..100 are taken as their nearest end, never wrapped.
    TransitionRig wide;
    EXPECT_EQ(MRender::DrawVerticalTransition(wide.target.dc(), wide.source.dc(), rect, rect, -50, -50), 255);
    EXPECT_EQ(Blue(wide.target.at(0, 10)), 255);
}

TEST(MRenderTransition, RightBottomCornerIsOpaqueAndFadesWithDistance) {
    TransitionRig rig;
    CRect rect(0, 0, 12, 20);
    MRender::DrawRightBottomTransition(rig.target.dc(), rig.source.dc(), rect, 8, 0);
    EXPECT_EQ(Blue(rig.target.at(11, 19)), 255);
    EXPECT_NEAR(Blue(rig.target.at(7, 19)), 255 - 255 * 4 / 8, 2);
    EXPECT_GT(Blue(rig.target.at(10, 18)), Blue(rig.target.at(8, 16)));
    EXPECT_EQ(Blue(rig.target.at(3, 19)), 0);  // eight pixels away
    EXPECT_EQ(Blue(rig.target.at(11, 11)), 0);
    EXPECT_EQ(Blue(rig.target.at(0, 0)), 0);
}

TEST(MRenderFill, CheckAlphaColorLiftsPureBlackOnly) {
    DWORD black = 0xFF000000;
    MRender::CheckAlphaColor(black);
    EXPECT_EQ(black, 0xFF000001u);
    DWORD green = 0xFF000100;
    MRender::CheckAlphaColor(green);
    EXPECT_EQ(green, 0xFF000100u);
    DWORD clear = 0x00000000;
    MRender::CheckAlphaColor(clear);
    EXPECT_EQ(clear, 0x00000001u);
}

TEST(MRenderFill, DrawColorFillsUnlessFullyTransparent) {
    Dib dib(10, 10);
    dib.fill(0xFF102030);
    MRender::DrawColor(dib.dc(), RECT{2, 2, 8, 8}, 0x00FFFFFF);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(dib.at(x, y), 0xFF102030u);
    MRender::DrawColor(dib.dc(), RECT{2, 2, 8, 8}, 0xFFFF0000);
    EXPECT_EQ(dib.rgb(2, 2), 0xFF0000u);
    EXPECT_EQ(dib.rgb(7, 7), 0xFF0000u);
    EXPECT_EQ(dib.rgb(8, 8), 0x102030u);
    EXPECT_EQ(dib.rgb(1, 5), 0x102030u);
}

TEST(MRenderFill, SolidRectsGradientsAndRoundedRectangles) {
    Dib dib(40, 40);
    dib.fill(0);
    HDC& dc = dib.dc();
    COLORREF oldBk = ::SetBkColor(dc, RGB(1, 2, 3));
    MRender::FillSolidRect(dc, 5, 5, 10, 4, RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(dib.rgb(5, 5), 0x112233u);
    EXPECT_EQ(dib.rgb(14, 8), 0x112233u);
    EXPECT_EQ(dib.rgb(15, 8), 0u);
    EXPECT_EQ(dib.rgb(14, 9), 0u);
    EXPECT_EQ(::GetBkColor(dc), RGB(1, 2, 3));
    ::SetBkColor(dc, oldBk);

    // Opaque vertical gradient black to white: rows brighten downwards.
    MRender::DrawGradient(dc, RECT{20, 0, 30, 32}, 0xFF000000, 0xFFFFFFFF, true, 32);
    EXPECT_LT(Blue(dib.at(25, 0)), 16);
    EXPECT_GT(Blue(dib.at(25, 31)), 239);
    for (int y = 1; y < 32; ++y)
        EXPECT_GE(Blue(dib.at(25, y)), Blue(dib.at(25, y - 1)));
    // Half-transparent: white over black comes out at about half brightness.
    MRender::DrawGradient(dc, RECT{30, 0, 40, 10}, 0x80FFFFFF, 0x80FFFFFF, false, 4);
    EXPECT_NEAR(Blue(dib.at(35, 5)), 128, 2);
    // Invisible: nothing drawn.
    MRender::DrawGradient(dc, RECT{0, 20, 10, 30}, 0x00FFFFFF, 0x00FFFFFF, true, 4);
    EXPECT_EQ(dib.at(5, 25), 0u);
    MRender::DrawRectangle(dc, CRect(0, 20, 10, 30), 1, 2, 3);
    EXPECT_EQ(dib.at(0, 20), 0u);

    Dib round(40, 40);
    round.fill(0);
    {
        auto target = round.wrap();
        Gdiplus::Graphics g(target.get());
        MRender::DrawRoundRectange(g, 0.0f, 0.0f, 40.0f, 40.0f, 10.0f, Gdiplus::Color(255, 0, 0, 255));
    }
    EXPECT_EQ(round.at(0, 0), 0u);
    EXPECT_EQ(round.at(39, 39), 0u);
    EXPECT_EQ(round.at(20, 20), 0xFF0000FFu);
    EXPECT_EQ(round.at(20, 1), 0xFF0000FFu);
    EXPECT_EQ(round.at(1, 20), 0xFF0000FFu);

    Dib outline(40, 40);
    outline.fill(0);
    {
        auto target = outline.wrap();
        Gdiplus::Graphics g(target.get());
        MRender::DrawRoundRectange(g, 2.0f, 2.0f, 36.0f, 36.0f, 2.0f, Gdiplus::Color(255, 255, 0, 0), 2.0f,
                                   true, Gdiplus::Color(255, 0, 255, 0));
        // A zero divisor gives square corners rather than an undefined radius.
        MRender::DrawRoundRectange(g, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, Gdiplus::Color(255, 0, 0, 255), 1.0f,
                                   false, Gdiplus::Color(0));
    }
    EXPECT_EQ(outline.rgb(20, 20), 0x00FF00u);
    EXPECT_EQ(outline.rgb(20, 2), 0xFF0000u);
    EXPECT_EQ(outline.at(3, 3) >> 24, 0u);  // rounded away
}

TEST(MRenderGeometry, ImageRectFitsAndCentres) {
    CRect box(10, 20, 110, 120);
    EXPECT_EQ(MRender::GetImageRect(40, 20, box), CRect(40, 60, 80, 80));      // smaller: centred as is
    EXPECT_EQ(MRender::GetImageRect(200, 100, box), CRect(10, 45, 110, 95));   // wide: box width
    EXPECT_EQ(MRender::GetImageRect(100, 400, box), CRect(47, 20, 72, 120));   // tall: box height
    EXPECT_EQ(MRender::GetImageRect(300, 300, box), CRect(10, 20, 110, 120));  // square: whole box
    EXPECT_EQ(MRender::GetImageRect(0, 10, box), CRect(60, 70, 60, 70));       // nothing to fit
    EXPECT_EQ(MRender::GetImageRect(2000000000, 3, box).Width(), 100);         // no overflow
}

TEST(MRenderGeometry, OriginPointsFollowTheAlignmentValues) {
    EXPECT_EQ(MRender::GetOriginPoint(100, 50, 20, 10, 0, 0), CPoint(0, 0));
    EXPECT_EQ(MRender::GetOriginPoint(3, 3, 500, 500, 0, 0), CPoint(0, 0));
    EXPECT_EQ(MRender::GetOriginPoint(100, 50, 20, 10, 1, 4), CPoint(40, 20));
    EXPECT_EQ(MRender::GetOriginPoint(100, 50, 20, 10, 2, 8), CPoint(80, 40));
    EXPECT_EQ(MRender::GetOriginPoint(CRect(5, 6, 105, 56), 20, 10, 1, 4), CPoint(45, 28));
    EXPECT_EQ(MRender::GetOriginPoint(CRect(5, 6, 105, 56), 20, 10, 0, 0), CPoint(5, 8));

    Gdiplus::PointF p(11.0f, 5.0f);
    MRender::RotatePoint(p, 90.0f, Gdiplus::PointF(10.0f, 5.0f));
    EXPECT_NEAR(p.X, 10.0f, 1e-4);
    EXPECT_NEAR(p.Y, 6.0f, 1e-4);
}

TEST(MRenderText, BoundsGrowWithTextAndWrapWithinAWidth) {
    Gdiplus::FontFamily family(L"DejaVu Sans");
    ASSERT_EQ(family.GetLastStatus(), Gdiplus::Ok);
    Gdiplus::Font font(&family, 20.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::Size shortText = MRender::GetTextBounds(font, L"Hi");
    Gdiplus::Size longText = MRender::GetTextBounds(font, L"Hi there, world");
    EXPECT_GT(shortText.Width, 10);
    EXPECT_GT(longText.Width, shortText.Width * 3);
    const float line = 20.0f * family.GetLineSpacing(Gdiplus::FontStyleRegular) /
                       family.GetEmHeight(Gdiplus::FontStyleRegular);
    const int whole = static_cast<int>(line);
    EXPECT_EQ(shortText.Height, whole + (line > whole ? 4 : 1));
    EXPECT_EQ(MRender::GetTextBounds(font, L"").Width, 0);

    Gdiplus::StringFormat wrap;
    Gdiplus::Size wrapped = MRender::GetTextBounds(font, wrap, 60, L"Hi there, wide world");
    EXPECT_LE(wrapped.Width, 60);
    EXPECT_GT(wrapped.Height, static_cast<int>(line) + 10);  // more than one line
    EXPECT_GE(MRender::GetTextBounds(font, wrap, 1000, L"Hi").Height, static_cast<int>(line));
}

TEST(MRenderText, DrawTextUsesColourAndFontThenRestoresTheDc) {
    Dib dib(120, 40);
    dib.fill(0);
    HDC& dc = dib.dc();
    const UniqueFont ownFont(
        ::CreateFontW(-24, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"DejaVu Sans"));
    HFONT font = ownFont.get();
    ::SetTextColor(dc, RGB(1, 1, 1));
    HGDIOBJ before = ::GetCurrentObject(dc, OBJ_FONT);
    CRect rect(10, 5, 110, 35);
    MRender::DrawTextW(dc, rect, L"WWWW", RGB(0, 0, 255), font, DT_SINGLELINE | DT_LEFT | DT_TOP);
    MRender::DrawTextW(dc, rect, nullptr, RGB(255, 0, 0), font, 0);
    EXPECT_EQ(::GetTextColor(dc), RGB(1, 1, 1));
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), before);
    int inked = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            if (dib.rgb(x, y) != 0) {
                EXPECT_TRUE(rect.PtInRect(POINT{x, y})) << x << "," << y;
                EXPECT_EQ(dib.rgb(x, y) & 0xFFFF00, 0u);  // blue only: no red from the null text
                ++inked;
            }
    EXPECT_GT(inked, 50);
}

TEST(MRenderBitmap, ArgbSectionIsBottomUpAndSavesAsBmp) {
    Dib dib(3, 2);
    ASSERT_NE(dib.bits(), nullptr);
    reinterpret_cast<DWORD*>(dib.bits())[0] = 0xFF0000FF;  // first stored row is the bottom row
    EXPECT_EQ(::GetPixel(dib.dc(), 0, 1), RGB(0, 0, 255));
    ::SetPixel(dib.dc(), 2, 0, RGB(0x12, 0x34, 0x56));
    ::GdiFlush();
    BYTE* unused = reinterpret_cast<BYTE*>(1);
    EXPECT_EQ(MRender::CreateARGB32Bitmap(nullptr, 0, 5, &unused), nullptr);
    EXPECT_EQ(unused, nullptr);

    std::wstring path = testing_support::TestDir() + L"mrender_save.bmp";
    ASSERT_EQ(MRender::SaveBitmapToFile(dib.bitmap(), path.c_str()), 1);
    std::vector<BYTE> data(4096);
    DWORD read = 0;
    {
        const UniqueFileHandle f(
            ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(f);
        ::ReadFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
    }
    ::DeleteFileW(path.c_str());
    data.resize(read);
    ASSERT_GE(data.size(), 54u);
    auto u32 = [&](size_t at) { return *reinterpret_cast<const uint32_t*>(&data[at]); };
    auto u16 = [&](size_t at) { return *reinterpret_cast<const uint16_t*>(&data[at]); };
    EXPECT_EQ(data[0], 'B');
    EXPECT_EQ(data[1], 'M');
    EXPECT_EQ(u32(2), data.size());
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(static_cast<int32_t>(u32(18)), 3);
    EXPECT_EQ(static_cast<int32_t>(u32(22)), 2);
    ASSERT_EQ(u16(28), 24);  // a true-colour screen
    // 24-bit rows of 3 pixels padded to 12 bytes, bottom row first, BGR.
    EXPECT_EQ(data.size(), 54u + 2 * 12);
    EXPECT_EQ(data[54 + 0], 0xFF);  // bottom-left blue
    EXPECT_EQ(data[54 + 12 + 6], 0x56);
    EXPECT_EQ(data[54 + 12 + 7], 0x34);
    EXPECT_EQ(data[54 + 12 + 8], 0x12);

    EXPECT_EQ(MRender::SaveBitmapToFile(dib.bitmap(), L"Z:\\no\\such\\folder\\x.bmp"), 0);
    EXPECT_EQ(MRender::SaveBitmapToFile(nullptr, path.c_str()), 0);
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(MRenderLoad, ImagesFromFilesAndResources) {
    Gdiplus::Image* h = MRender::LoadImageFromIDResource(101, L"PNG", g_hLibModule);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->GetWidth(), 128u);
    EXPECT_EQ(h->GetHeight(), 8u);
    Gdiplus::Image* v = MRender::LoadImageFromIDResource(102, L"png", g_hLibModule);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetWidth(), 32u);
    EXPECT_EQ(v->GetHeight(), 32u);
    // The image still draws after its resource bytes' stream was handed over.
    Dib dib(32, 32);
    dib.fill(0);
    {
        auto target = dib.wrap();
        Gdiplus::Graphics g(target.get());
        g.DrawImage(v, 0, 0);
    }
    EXPECT_GT(dib.at(4, 16) >> 24, 100u);
    delete v;
    EXPECT_EQ(MRender::LoadImageFromIDResource(999, L"PNG", g_hLibModule), nullptr);
    // Bytes that are no image: an object that reads as 0 x 0.
    Gdiplus::Image* font = MRender::LoadImageFromIDResource(106, L"TTF", g_hLibModule);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->GetWidth(), 0u);
    delete font;

    // The same PNG from a file.
    HRSRC res = ::FindResourceW(g_hLibModule, MAKEINTRESOURCEW(101), L"PNG");
    std::wstring path = testing_support::TestDir() + L"mrender_load.png";
    {
        const UniqueFileHandle f(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(f.get(), ::LockResource(::LoadResource(g_hLibModule, res)),
                    ::SizeofResource(g_hLibModule, res), &written, nullptr);
    }
    Gdiplus::Image* file = MRender::LoadImageFromFile(path.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetWidth(), h->GetWidth());
    delete file;
    Gdiplus::Image* thumb = MRender::LoadImageFromFileEx(path.c_str(), 16, 4);
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->GetWidth(), 16u);
    EXPECT_EQ(thumb->GetHeight(), 4u);
    delete thumb;
    Gdiplus::Image* own = MRender::LoadImageFromFileEx(path.c_str(), 0, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->GetWidth(), 128u);
    delete own;
    EXPECT_EQ(MRender::LoadImageFromFileEx(path.c_str(), -5, 4), nullptr);
    ::DeleteFileW(path.c_str());
    delete h;

    EXPECT_EQ(MRender::LoadImageFromFile(L"Z:\\no\\such\\image.png"), nullptr);
    EXPECT_EQ(MRender::LoadImageFromFileEx(L"Z:\\no\\such\\image.png", 4, 4), nullptr);
    EXPECT_EQ(MRender::LoadIconFromFile(CString(std::wstring(400, L'a'))), nullptr);
}

TEST(MRenderLoad, IconOfAnIcoFileIsItsOwnIcon) {
    std::wstring ico = testing_support::OutDir() + L"skins\\theme1\\Calidra.ico";
    const UniqueIcon icon(MRender::LoadIconFromFile(ico.c_str()));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
    const UniqueBitmap color(info.hbmColor);
    const UniqueBitmap mask(info.hbmMask);
    EXPECT_TRUE(color);  // the file's colour icon, not a monochrome stand-in
}

}  // namespace
