// The basic controls drawn by a real engine into its surface: picture layouts, button states and their
// caption, colour areas, texts; the button's state machine and notifications; cache reuse.

#include "CountingButton.h"
#include "PaintHost.h"
#include "ProbeControl.h"

#include "controls/CArea.h"
#include "controls/MButton.h"
#include "controls/MPicture.h"
#include "controls/MText.h"

#include <gtest/gtest.h>

using namespace testing_support;
using Tessel::CArea;
using Tessel::MButton;
using Tessel::MPicture;
using Tessel::MText;
using Tessel::PaintManager;

namespace {

constexpr DWORD kBack = 0x000080;  // the window's fill colour in these tests
constexpr DWORD kFrameBorder[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
constexpr DWORD kFrameFill[4] = {0xFF400000u, 0xFF004000u, 0xFF000040u, 0xFF404000u};

class Controls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(nullptr,
                  window_.Create(nullptr, L"controls", WS_POPUP, WS_EX_TOOLWINDOW, CRect(60, 60, 360, 260)));
        engine_.Init(window_.GetSafeHwnd(), &window_);
        engine_.SetLayeredWindow(TRUE);
        engine_.SetPaintPacing(0);
        engine_.SetBackColor(RGB(0, 0, 0x80), RGB(0, 0, 0x80));
        ::ShowWindow(window_.GetSafeHwnd(), SW_SHOWNOACTIVATE);
    }
    void TearDown() override {
        engine_.DestroyData();
        window_.DestroyWindow();
    }
    DWORD At(int x, int y) const { return engine_.GetPaintPixel(x, y); }
    static DWORD Back() { return Premultiplied(0xFE, kBack); }

    // Four frames of 60 × 30: an 8-pixel border and a fill, of distinct colours per frame.
    static std::wstring ButtonStrip() {
        return WriteSkin(L"bc_button.png", 240, 30, [](int x, int y) {
            const int frame = x / 60;
            const int fx = x % 60;
            const bool border = fx < 8 || fx >= 52 || y < 8 || y >= 22;
            return border ? kFrameBorder[frame] : kFrameFill[frame];
        });
    }

    // The bounding box of the caption's pixels (`colour`) inside `box`.
    CRect CaptionBox(CRect box, DWORD colour) const {
        CRect found(INT_MAX, INT_MAX, INT_MIN, INT_MIN);
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) {
                const DWORD p = At(x, y);
                if (p == colour) {
                    found.left = std::min(found.left, static_cast<LONG>(x));
                    found.top = std::min(found.top, static_cast<LONG>(y));
                    found.right = std::max(found.right, static_cast<LONG>(x + 1));
                    found.bottom = std::max(found.bottom, static_cast<LONG>(y + 1));
                }
            }
        return found;
    }
    int Count(CRect box, DWORD colour) const {
        int n = 0;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                n += At(x, y) == colour ? 1 : 0;
        return n;
    }

    GdiplusSession gdiplus_;
    PaintManager engine_;
    PaintWindow window_{engine_};
    Owner host_{&engine_};
};

TEST_F(Controls, ButtonStatesFramesCaptionShiftAndClicks) {
    auto* button = new CountingButton(&host_, 9, CRect(20, 20, 120, 50), L"II", 1, 1);
    button->SetManager(&engine_);
    engine_.GetControls()->push_back(button);
    ASSERT_EQ(1, button->SetImage(ButtonStrip().c_str(), 4));
    button->SetFont(L"DejaVu Sans", 14, Gdiplus::FontStyleBold);
    button->SetTextColor(Gdiplus::Color(0xFFFFFFFF));
    button->SetTextRenderingHint(Gdiplus::TextRenderingHintSingleBitPerPixelGridFit);
    PaintNow(engine_);
    // Nine-patch: 8-pixel corners kept, the frame's fill stretched over the 100 × 30 button.
    EXPECT_EQ(kFrameBorder[0], At(20, 20));
    EXPECT_EQ(kFrameBorder[0], At(119, 49));
    EXPECT_EQ(kFrameFill[0], At(30, 35));
    EXPECT_EQ(Back(), At(19, 20));
    const CRect inner(28, 28, 112, 42);
    const CRect normal = CaptionBox(inner, 0xFFFFFFFFu);
    ASSERT_LT(normal.left, normal.right);
    EXPECT_GT(Count(inner, 0xFFFFFFFFu), 5);

    EXPECT_EQ(1, button->OnMouseMove(0, CPoint(60, 30)));
    EXPECT_EQ(MButton::StateHover, button->GetState());
    EXPECT_EQ(0, button->OnMouseMove(0, CPoint(61, 30)));  // no change, no repaint
    PaintNow(engine_);
    EXPECT_EQ(kFrameBorder[1], At(20, 20));
    EXPECT_EQ(normal, CaptionBox(inner, 0xFFFFFFFFu));

    EXPECT_EQ(1, button->OnLButtonDown(MK_LBUTTON, CPoint(60, 30)));
    PaintNow(engine_);
    EXPECT_EQ(kFrameBorder[2], At(20, 20));
    CRect pressed = CaptionBox(inner, 0xFFFFFFFFu);
    EXPECT_EQ(normal.left + 1, pressed.left);
    EXPECT_EQ(normal.top + 1, pressed.top);
    EXPECT_EQ(normal.right + 1, pressed.right);
    EXPECT_EQ(normal.bottom + 1, pressed.bottom);
    // Dragged outside, the press holds.
    EXPECT_EQ(0, button->OnMouseMove(MK_LBUTTON, CPoint(200, 150)));
    EXPECT_EQ(MButton::StatePressed, button->GetState());
    EXPECT_EQ(1, button->OnLButtonUp(0, CPoint(60, 30)));
    EXPECT_EQ(MButton::StateHover, button->GetState());
    ASSERT_EQ(2u, host_.notices.size());
    EXPECT_EQ(9u, host_.notices[0].id);
    EXPECT_EQ(1u, host_.notices[0].code);
    EXPECT_EQ(2u, host_.notices[1].code);

    // Released outside: normal state and no click.
    button->OnLButtonDown(MK_LBUTTON, CPoint(60, 30));
    EXPECT_EQ(1, button->OnLButtonUp(0, CPoint(200, 150)));
    EXPECT_EQ(MButton::StateNormal, button->GetState());
    EXPECT_EQ(3u, host_.notices.size());
    // Every state change so far reused the one render of the four states.
    PaintNow(engine_);
    EXPECT_EQ(1, button->renders);
}

TEST_F(Controls, DisabledButtonShowsTheLastFrameWithAGreyCaptionAndIgnoresTheMouse) {
    MButton* button = static_cast<MButton*>(
        engine_.CreateControl(&host_, L"MButton", 4, CRect(20, 20, 120, 50), L"II", 1, 1));
    ASSERT_NE(nullptr, button);
    ASSERT_EQ(1, button->SetImage(ButtonStrip().c_str(), 4));
    button->SetFont(L"DejaVu Sans", 14, Gdiplus::FontStyleBold);
    button->SetTextRenderingHint(Gdiplus::TextRenderingHintSingleBitPerPixelGridFit);
    button->SetEnabled(0);
    EXPECT_EQ(MButton::StateDisabled, button->GetState());
    PaintNow(engine_);
    const CRect inner(28, 28, 112, 42);
    EXPECT_EQ(kFrameBorder[3], At(20, 20));
    EXPECT_GT(Count(inner, 0xFF808080u), 5);
    EXPECT_EQ(0, Count(inner, 0xFFFFFFFFu));
    EXPECT_EQ(0, button->OnMouseMove(0, CPoint(60, 30)));
    EXPECT_EQ(0, button->OnLButtonDown(MK_LBUTTON, CPoint(60, 30)));
    EXPECT_TRUE(host_.notices.empty());
    button->SetEnabled(1);
    EXPECT_EQ(MButton::StateNormal, button->GetState());
}

TEST_F(Controls, ButtonCreatedDisabledLooksNormal) {
    MButton* button = static_cast<MButton*>(
        engine_.CreateControl(&host_, L"MButton", 4, CRect(20, 20, 120, 50), L"", 1, 0));
    ASSERT_EQ(1, button->SetImage(ButtonStrip().c_str(), 4));
    PaintNow(engine_);
    EXPECT_EQ(kFrameBorder[0], At(20, 20));
}

TEST_F(Controls, ShortStripLeavesMissingStatesEmpty) {
    MButton* button = static_cast<MButton*>(
        engine_.CreateControl(&host_, L"MButton", 4, CRect(20, 20, 120, 50), L"", 1, 1));
    const std::wstring two =
        WriteSkin(L"bc_two.png", 120, 30, [](int x, int) { return kFrameBorder[x / 60]; });
    ASSERT_EQ(1, button->SetImage(two.c_str(), 2));
    PaintNow(engine_);
    EXPECT_EQ(kFrameBorder[0], At(60, 35));
    button->SetEnabled(0);
    PaintNow(engine_);
    EXPECT_EQ(Back(), At(60, 35));
}

TEST_F(Controls, PictureLayouts) {
    const std::wstring red = WriteSkin(L"bc_red.png", 20, 10, [](int, int) { return 0xFFFF0000u; });
    MPicture* picture = static_cast<MPicture*>(
        engine_.CreateControl(&host_, L"MPicture", 3, CRect(100, 100, 160, 140), nullptr, 1, 1));
    ASSERT_EQ(1, picture->SetImage(red.c_str(), 1));
    PaintNow(engine_);
    // Defaults: left, vertically centred (y 15..24 of 40).
    EXPECT_EQ(0xFFFF0000u, At(100, 115));
    EXPECT_EQ(0xFFFF0000u, At(119, 124));
    EXPECT_EQ(Back(), At(120, 120));
    EXPECT_EQ(Back(), At(100, 114));
    picture->SetAlignment(3);  // any value other than 0 and 2 centres
    PaintNow(engine_);
    EXPECT_EQ(Back(), At(119, 120));
    EXPECT_EQ(0xFFFF0000u, At(120, 120));
    EXPECT_EQ(0xFFFF0000u, At(139, 120));
    picture->SetAlignment(2, 8);
    PaintNow(engine_);
    EXPECT_EQ(0xFFFF0000u, At(159, 139));
    EXPECT_EQ(Back(), At(139, 139));

    EXPECT_EQ(1, picture->SetShowMode(Tessel::ShowModeStretch, 0));
    EXPECT_EQ(0, picture->SetShowMode(Tessel::ShowModeStretch, 9));
    PaintNow(engine_);
    EXPECT_EQ(0xFFFF0000u, At(101, 101));
    EXPECT_EQ(0xFFFF0000u, At(158, 138));

    const std::wstring checker =
        WriteSkin(L"bc_tile.png", 16, 16, [](int x, int) { return x < 8 ? 0xFF00FF00u : 0xFFFFFFFFu; });
    ASSERT_EQ(1, picture->SetImage(checker.c_str(), 1));
    picture->SetShowMode(Tessel::ShowModeTile, 0);
    PaintNow(engine_);
    EXPECT_EQ(0xFF00FF00u, At(100 + 16, 100 + 20));
    EXPECT_EQ(0xFFFFFFFFu, At(100 + 24, 100 + 37));
    EXPECT_EQ(0xFF00FF00u, At(100 + 48, 100 + 39));  // the last column is clipped, not scaled

    picture->SetCustomRect(CRect(8, 0, 16, 16));
    picture->SetShowMode(Tessel::ShowModeCustom, 0);
    PaintNow(engine_);
    EXPECT_EQ(0xFFFFFFFFu, At(101, 101));

    // A missing file: no image, the background shows.
    EXPECT_EQ(0, picture->SetImage(L"bc_missing.png", 1));
    PaintNow(engine_);
    EXPECT_EQ(Back(), At(130, 120));
    EXPECT_EQ(0, picture->SetImage(checker.c_str(), 0));
}

TEST_F(Controls, AreaBoxWithOnePixelBorderAndFades) {
    CArea* area =
        static_cast<CArea*>(engine_.CreateArea(&host_, L"CArea", 8, CRect(10, 10, 60, 50), nullptr, 1, 1));
    area->SetTransparent(0, 0, RGB(0x0A, 0xC8, 0x1E));
    area->SetFrame(1, Gdiplus::Color(0xFE050505), 0);
    PaintNow(engine_);
    EXPECT_EQ(Premultiplied(0xFE, 0x050505), At(10, 10));
    EXPECT_EQ(Premultiplied(0xFE, 0x050505), At(59, 49));
    EXPECT_EQ(Premultiplied(0xFE, 0x0AC81E), At(11, 11));
    EXPECT_EQ(Premultiplied(0xFE, 0x0AC81E), At(58, 48));
    EXPECT_EQ(Back(), At(60, 30));

    // Defaults: a uniform white wash of weight 51 over the background.
    area->SetTransparent(80, 80, RGB(255, 255, 255));
    PaintNow(engine_);
    const DWORD top = At(30, 10);
    EXPECT_EQ(top, At(30, 49));
    EXPECT_NEAR(51, static_cast<int>((top >> 16) & 0xFF), 3);
    EXPECT_GE(top >> 24, 0xFEu);
    // From opaque at the top to almost nothing at the bottom.
    area->SetTransparent(0, 100, RGB(255, 0, 0));
    PaintNow(engine_);
    EXPECT_NEAR(0xFE, static_cast<int>((At(30, 10) >> 16) & 0xFF), 2);
    EXPECT_LT(static_cast<int>((At(30, 49) >> 16) & 0xFF), 12);
}

TEST_F(Controls, TextDrawsItsCaptionAndKeepsTheFirstBackgroundColour) {
    MText* text = static_cast<MText*>(
        engine_.CreateControl(&host_, L"MText", 2, CRect(10, 100, 200, 130), L"Hello", 1, 0));
    text->SetFont(L"DejaVu Sans", 16, Gdiplus::FontStyleRegular);
    text->SetTextColor(Gdiplus::Color(0xFFFFFFFF));
    PaintNow(engine_);
    EXPECT_GT(Count(CRect(10, 100, 200, 130), 0xFFFFFFFFu), 10);
    const size_t updates = host_.updates.size();
    text->EnableTextBack(1, Gdiplus::Color(0xFF00FF00));
    text->EnableTextBack(1, Gdiplus::Color(0xFFFF0000));
    EXPECT_EQ(updates + 2, host_.updates.size());
    PaintNow(engine_);
    EXPECT_EQ(0xFF00FF00u, At(199, 129));
    text->SetMarkText(nullptr);
    EXPECT_EQ(CString(L""), text->GetMarkText());
    text->SetMarkText(L"!", Gdiplus::Color(0xFFFF0000), 1);
    EXPECT_EQ(CString(L"!"), text->GetMarkText());
}

TEST_F(Controls, MultiLineTextWrapsAndCentresTheBlock) {
    MText* text = static_cast<MText*>(engine_.CreateControl(&host_, L"MText", 2, CRect(10, 20, 110, 180),
                                                            L"wrap wrap wrap wrap wrap", 1, 0));
    text->SetFont(L"DejaVu Sans", 16, Gdiplus::FontStyleRegular);
    text->SetTextColor(Gdiplus::Color(0xFFFFFFFF));
    text->SetAlignment(0, 0);
    text->EnableMultiLine(1);
    text->EnableVCenter(1);
    text->SetTitle(L"wrap wrap wrap wrap wrap");
    PaintNow(engine_);
    int top = INT_MAX;
    int bottom = INT_MIN;
    for (int y = 20; y < 180; ++y)
        for (int x = 10; x < 110; ++x)
            if ((At(x, y) & 0xFFFFFF) > 0x808080 && At(x, y) != Back()) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_LT(top, bottom);
    EXPECT_GT(bottom - top, 30);               // more than one line
    EXPECT_NEAR(100, (top + bottom) / 2, 12);  // centred in 20..180
    EXPECT_EQ(Back(), At(150, 100));           // nothing drawn beyond the right edge
}

TEST_F(Controls, ARepaintRequestRefreshesTheControlsAbove) {
    CArea* below =
        static_cast<CArea*>(engine_.CreateArea(&host_, L"CArea", 1, CRect(0, 0, 100, 100), nullptr, 1, 1));
    auto* above = new CountingButton(&host_, 2, CRect(50, 50, 150, 80), L"", 1, 1);
    above->SetManager(&engine_);
    engine_.GetControls()->push_back(above);
    auto* apart = new CountingButton(&host_, 3, CRect(200, 150, 290, 190), L"", 1, 1);
    apart->SetManager(&engine_);
    engine_.GetControls()->push_back(apart);
    PaintNow(engine_);
    ASSERT_EQ(1, above->renders);
    below->SetTransparent(0, 0, RGB(0, 0xFF, 0));
    PaintNow(engine_);
    // The button over the area drew again over the new colour; the one elsewhere kept its cache.
    EXPECT_EQ(2, above->renders);
    EXPECT_EQ(1, apart->renders);
    EXPECT_EQ(Premultiplied(0xFE, 0x00FF00), At(10, 10));
}

TEST_F(Controls, PictureNinePatchModes) {
    // A 30 × 30 image: a 5-pixel red rim around a green centre.
    const std::wstring rim = WriteSkin(L"bc_rim.png", 30, 30, [](int x, int y) {
        return x < 5 || y < 5 || x >= 25 || y >= 25 ? 0xFFFF0000u : 0xFF00FF00u;
    });
    MPicture* picture = static_cast<MPicture*>(
        engine_.CreateControl(&host_, L"MPicture", 3, CRect(100, 100, 200, 160), nullptr, 1, 1));
    ASSERT_EQ(1, picture->SetImage(rim.c_str(), 1));
    EXPECT_EQ(1, picture->SetShowMode(Tessel::ShowModeFrame, 5));
    EXPECT_EQ(0, picture->SetShowMode(Tessel::ShowModeFrame, 5));
    EXPECT_EQ(1, picture->SetShowMode(Tessel::ShowModeFrame, 6));
    picture->SetShowMode(Tessel::ShowModeFrame, 5);
    PaintNow(engine_);
    EXPECT_EQ(0xFFFF0000u, At(104, 104));
    EXPECT_EQ(0xFFFF0000u, At(195, 155));
    EXPECT_EQ(0xFF00FF00u, At(150, 130));
    EXPECT_EQ(0xFF00FF00u, At(105, 105));
    EXPECT_EQ(1, picture->SetShowModeMID(10, 5, 5, 5));
    PaintNow(engine_);
    EXPECT_EQ(0xFFFF0000u, At(104, 130));
    EXPECT_EQ(0xFF00FF00u, At(150, 130));
}

}  // namespace
