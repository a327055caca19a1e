// The paint engine under wine + Xvfb: the factory and control lists, the image and font caches, and what a
// paint leaves in the engine's surface (background modes, the frame without an image, layered transparency,
// the fix-up of plain GDI drawing, the hot square).

#include "PaintHost.h"
#include "ProbeControl.h"
#include "Wait.h"

#include "controls/CArea.h"
#include "controls/MButton.h"
#include "controls/MControl.h"
#include "controls/MPicture.h"
#include "controls/MText.h"
#include "core/Manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace testing_support;
using Tessel::MControl;
using Tessel::PaintManager;

namespace {

// Draws a word with plain GDI, which leaves the alpha bytes at 0.
class GdiTextControl : public MControl {
  public:
    GdiTextControl(Tessel::MObject* parent, CRect rect) : MControl(parent, 77, rect, 1, 1, 1) {}
    void DrawControl(HDC& dc, CRect) override {
        RECT r = m_rect;
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 0));
        ::DrawTextW(dc, L"GDI", -1, &r, DT_LEFT | DT_TOP | DT_SINGLELINE);
    }
};

class Engine : public ::testing::Test {
  protected:
    void Open(int w, int h, bool layered, bool show = true) {
        ASSERT_NE(nullptr, window_.Create(nullptr, L"paint", WS_POPUP, WS_EX_TOOLWINDOW,
                                          CRect(40, 40, 40 + w, 40 + h)));
        engine_.Init(window_.GetSafeHwnd(), &window_);
        engine_.SetLayeredWindow(layered ? TRUE : FALSE);
        engine_.SetPaintPacing(0);
        if (show)
            ::ShowWindow(window_.GetSafeHwnd(), SW_SHOWNOACTIVATE);
    }
    void TearDown() override {
        engine_.DestroyData();
        window_.DestroyWindow();
    }

    GdiplusSession gdiplus_;
    PaintManager engine_;
    PaintWindow window_{engine_};
    Owner host_{&engine_};
};

TEST_F(Engine, FactoryCreatesTheBasicControlsByExactNameOnly) {
    Open(200, 100, false, false);
    MControl* picture = engine_.CreateControl(&host_, L"MPicture", 11, CRect(0, 0, 10, 10), nullptr, 1, 1);
    MControl* text = engine_.CreateControl(&host_, L"MText", 12, CRect(0, 0, 10, 10), L"hi", 1, 1);
    MControl* button = engine_.CreateControl(&host_, L"MButton", 13, CRect(0, 0, 10, 10), L"OK", 1, 0);
    MControl* area = engine_.CreateArea(&host_, L"CArea", 14, CRect(0, 0, 10, 10), nullptr, 1, 1);
    ASSERT_NE(nullptr, dynamic_cast<Tessel::MPicture*>(picture));
    ASSERT_NE(nullptr, dynamic_cast<Tessel::MText*>(text));
    ASSERT_NE(nullptr, dynamic_cast<Tessel::MButton*>(button));
    ASSERT_NE(nullptr, dynamic_cast<Tessel::CArea*>(area));
    // Arguments reach the constructors: a text takes only its visible flag and starts disabled.
    EXPECT_EQ(CString(L"hi"), static_cast<Tessel::MText*>(text)->GetTitle());
    EXPECT_EQ(0, text->IsEnabled());
    EXPECT_EQ(0, button->IsEnabled());
    EXPECT_EQ(&engine_, button->GetManager());
    EXPECT_EQ(&host_, button->GetParantObject());

    EXPECT_EQ(nullptr, engine_.CreateControl(&host_, L"mbutton", 20, CRect(), L"", 1, 1));
    EXPECT_EQ(nullptr, engine_.CreateControl(&host_, L"MButton ", 21, CRect(), L"", 1, 1));
    EXPECT_EQ(nullptr, engine_.CreateControl(&host_, L"", 22, CRect(), L"", 1, 1));
    EXPECT_EQ(nullptr, engine_.CreateControl(&host_, nullptr, 23, CRect(), L"", 1, 1));
    EXPECT_EQ(nullptr, engine_.CreateControl(&host_, L"NoSuchControl", 24, CRect(), L"", 1, 1));

    ASSERT_EQ(3u, engine_.GetControls()->size());
    ASSERT_EQ(1u, engine_.GetAreaControls()->size());
    EXPECT_EQ(picture, (*engine_.GetControls())[0]);
    EXPECT_EQ(area, (*engine_.GetAreaControls())[0]);
    EXPECT_EQ(button, engine_.GetControl(13));
    EXPECT_EQ(area, engine_.GetControl(14));
    EXPECT_EQ(nullptr, engine_.GetControl(99));
}

TEST_F(Engine, ListTwoHandsTheControlToTheCallerAndChildrenAreFoundById) {
    Open(200, 100, false, false);
    std::unique_ptr<MControl> own(engine_.CreateControl(2, &host_, L"MButton", 5, CRect(), L"", 1, 1));
    ASSERT_NE(nullptr, own);
    EXPECT_TRUE(engine_.GetControls()->empty());
    EXPECT_TRUE(engine_.GetAreaControls()->empty());
    EXPECT_EQ(nullptr, engine_.GetControl(5));
    // A control created for a container is found through its parent.
    MControl* parent = engine_.CreateControl(&host_, L"MPicture", 6, CRect(0, 0, 50, 50), nullptr, 1, 1);
    parent->AddControl(engine_.CreateControl(2, parent, L"MText", 7, CRect(0, 0, 5, 5), L"", 1, 0));
    ASSERT_NE(nullptr, engine_.GetControl(7));
    EXPECT_EQ(7u, engine_.GetControl(7)->GetControlID());
}

TEST_F(Engine, RemoveAndClearDeleteOnlyWhatTheListsOwn) {
    Open(200, 100, false, false);
    MControl* area = engine_.CreateArea(&host_, L"CArea", 1, CRect(), nullptr, 1, 1);
    MControl* a = engine_.CreateControl(&host_, L"MButton", 2, CRect(), L"", 1, 1);
    MControl* b = engine_.CreateControl(&host_, L"MButton", 3, CRect(), L"", 1, 1);
    engine_.RemoveControl(area);
    EXPECT_EQ(1u, engine_.GetAreaControls()->size());
    // A deleted control leaves the focus and the master-timer list.
    engine_.SetFocusControl(a);
    engine_.AddMTimer(a);
    engine_.AddMTimer(b);
    engine_.RemoveControl(a);
    ASSERT_EQ(1u, engine_.GetControls()->size());
    EXPECT_EQ(b, (*engine_.GetControls())[0]);
    EXPECT_EQ(nullptr, engine_.GetFocusControl());
    ASSERT_EQ(1u, engine_.GetMTimerControls().size());
    engine_.RemoveControl(a);  // no longer there: nothing happens
    engine_.ClearAllControls();
    EXPECT_TRUE(engine_.GetControls()->empty());
    EXPECT_TRUE(engine_.GetAreaControls()->empty());
    EXPECT_TRUE(engine_.GetMTimerControls().empty());
}

TEST_F(Engine, InitAndDestroyData) {
    PaintManager fresh;
    fresh.Init(nullptr, nullptr);
    EXPECT_FALSE(fresh.IsInitialized());
    Open(120, 80, false, false);
    EXPECT_TRUE(engine_.IsInitialized());
    EXPECT_NE(nullptr, engine_.GetPaintDC());
    EXPECT_EQ(102u, engine_.GetScrollVID());
    EXPECT_EQ(101u, engine_.GetScrollHID());
    engine_.CreateControl(&host_, L"MButton", 1, CRect(), L"", 1, 1);
    ASSERT_TRUE(
        engine_.LoadBKImage(WriteSkin(L"pm_init.png", 4, 4, [](int, int) { return 0xFF102030u; }).c_str()));
    engine_.DestroyData();
    EXPECT_FALSE(engine_.IsInitialized());
    EXPECT_EQ(nullptr, engine_.GetPaintDC());
    EXPECT_FALSE(engine_.HasBKImage());
    EXPECT_TRUE(engine_.GetControls()->empty());
    engine_.DestroyData();  // a second call does nothing
    EXPECT_FALSE(engine_.IsInitialized());
}

TEST_F(Engine, ImageCacheKeepsOneRecordPerNameAndRetriesFailures) {
    Open(120, 80, false, false);
    const std::wstring name = WriteSkin(L"pm_strip.png", 400, 30, [](int x, int) { return 0xFF000000u | x; });
    Tessel::ImgResInfo* info = engine_.AddImgResInfo(name.c_str(), 4);
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(100, info->frameWidth);
    EXPECT_EQ(30, info->height);
    EXPECT_EQ(4, info->frames);
    EXPECT_EQ(info, engine_.AddImgResInfo(name.c_str(), 4));

    const std::wstring late = SkinFolder() + L"pm_late.png";
    ::DeleteFileW(late.c_str());
    EXPECT_EQ(nullptr, engine_.AddImgResInfo(L"pm_late.png", 1));
    WriteSkin(L"pm_late.png", 8, 8, [](int, int) { return 0xFFFF0000u; });
    EXPECT_NE(nullptr, engine_.AddImgResInfo(L"pm_late.png", 1));
    // The library's own scroll-bar image by resource id.
    EXPECT_NE(nullptr, engine_.AddImgResInfo(102, L"PNG", 1, FALSE));
    engine_.ClearImgResInfo();
    EXPECT_NE(info, nullptr);
}

TEST_F(Engine, FontsFromTheLibraryResourceAndByName) {
    Open(120, 80, false, false);
    Gdiplus::FontFamily* own = engine_.AddTempFont(L"library", 106u);
    ASSERT_NE(nullptr, own);
    wchar_t face[LF_FACESIZE] = {};
    own->GetFamilyName(face);
    EXPECT_STREQ(L"Open Sans Semibold", face);
    EXPECT_EQ(own, engine_.FindTempFont(L"library"));
    EXPECT_EQ(nullptr, engine_.AddTempFont(L"none", 999u));
    EXPECT_EQ(nullptr, engine_.AddTempFont(L"none", L"Z:\\no\\such.ttf"));
    EXPECT_EQ(nullptr, engine_.FindTempFont(L"No Such Face At All"));
    Gdiplus::FontFamily* dejavu = engine_.FindTempFont(L"DejaVu Sans");
    ASSERT_NE(nullptr, dejavu);
    EXPECT_EQ(dejavu, engine_.FindTempFont(L"DejaVu Sans"));
    engine_.ClearTempFont();
    EXPECT_NE(nullptr, engine_.FindTempFont(L"DejaVu Sans"));
}

TEST_F(Engine, WithoutAnImageAOnePixelFrameOfTheBorderColourAtAlpha254) {
    Open(300, 200, true);
    PaintNow(engine_);
    EXPECT_EQ(Premultiplied(0xFE, 0x646464), engine_.GetPaintPixel(0, 0));
    EXPECT_EQ(Premultiplied(0xFE, 0x646464), engine_.GetPaintPixel(299, 199));
    EXPECT_EQ(Premultiplied(0xFE, 0x646464), engine_.GetPaintPixel(150, 199));
    EXPECT_EQ(Premultiplied(0xFE, 0xC8C8C8), engine_.GetPaintPixel(1, 1));
    EXPECT_EQ(Premultiplied(0xFE, 0xC8C8C8), engine_.GetPaintPixel(150, 100));
    engine_.SetBackColor(RGB(0x10, 0x20, 0x30), RGB(0xF0, 0, 0));
    PaintNow(engine_);
    EXPECT_EQ(Premultiplied(0xFE, 0xF00000), engine_.GetPaintPixel(0, 100));
    EXPECT_EQ(Premultiplied(0xFE, 0x102030), engine_.GetPaintPixel(1, 100));
}

TEST_F(Engine, AnOrdinaryWindowShowsTheFrameOnScreen) {
    Open(300, 200, false);
    PaintNow(engine_);
    WindowDC dc(window_.GetSafeHwnd());
    const COLORREF corner = ::GetPixel(dc.get(), 0, 0);
    const COLORREF inside = ::GetPixel(dc.get(), 150, 100);
    EXPECT_NEAR(0x64, GetRValue(corner), 1);
    EXPECT_NEAR(0x64, GetBValue(corner), 1);
    // Alpha 254 premultiplied: 0xC8 becomes 0xC7.
    EXPECT_NEAR(0xC7, GetRValue(inside), 1);
    EXPECT_NEAR(0xC7, GetGValue(inside), 1);
}

TEST_F(Engine, StretchAndNineFrameBackgrounds) {
    // Each pixel of the image is unique, so a pixel of the surface tells where it came from.
    auto pattern = [](int x, int y) { return 0xFF000000u | (x << 16) | (y << 8) | 0x40; };
    const std::wstring name = WriteSkin(L"pm_back.png", 100, 80, pattern);
    Open(380, 200, true);
    ASSERT_TRUE(engine_.LoadBKImage(CString(name.c_str())));
    engine_.SetBackMode(Tessel::BackModeFrame, 30);
    PaintNow(engine_);
    for (int y = 0; y < 30; y += 7) {
        for (int x = 0; x < 30; x += 7) {
            EXPECT_EQ(pattern(x, y), engine_.GetPaintPixel(x, y)) << x << "," << y;
            EXPECT_EQ(pattern(70 + x, 50 + y), engine_.GetPaintPixel(350 + x, 170 + y)) << x << "," << y;
            EXPECT_EQ(pattern(70 + x, y), engine_.GetPaintPixel(350 + x, y)) << x << "," << y;
        }
    }
    // Stretched twice as wide and high: the middle of the surface shows the middle of the image.
    window_.MoveWindow(40, 40, 200, 160, FALSE);
    engine_.SetBackMode(Tessel::BackModeStretch, 4);
    PaintNow(engine_);
    EXPECT_TRUE(Near(pattern(50, 40), engine_.GetPaintPixel(100, 80), 2));
    EXPECT_TRUE(Near(pattern(1, 1), engine_.GetPaintPixel(3, 3), 2));
    // Any other mode draws no image: a layered window stays transparent there.
    engine_.SetBackMode(static_cast<Tessel::enumBackMode>(2), 4);
    PaintNow(engine_);
    EXPECT_EQ(0u, engine_.GetPaintPixel(100, 80));
    // A missing image leaves the window without one: the frame comes back.
    EXPECT_FALSE(engine_.LoadBKImage(CString(L"pm_missing.png")));
    EXPECT_FALSE(engine_.HasBKImage());
    PaintNow(engine_);
    EXPECT_EQ(Premultiplied(0xFE, 0x646464), engine_.GetPaintPixel(0, 0));
}

TEST_F(Engine, LayeredWindowKeepsUntouchedPixelsTransparentAndShowsGdiText) {
    Open(200, 100, true);
    engine_.SetBackMode(static_cast<Tessel::enumBackMode>(2), 4);
    ASSERT_TRUE(
        engine_.LoadBKImage(WriteSkin(L"pm_any.png", 4, 4, [](int, int) { return 0xFFFFFFFFu; }).c_str()));
    engine_.GetControls()->push_back(new GdiTextControl(&host_, CRect(10, 10, 120, 40)));
    PaintNow(engine_);
    EXPECT_NE(0u, ::GetWindowLongPtrW(window_.GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
    // Text pixels (smoothed edges included) are opaque; everything else stays fully transparent.
    const CRect text(10, 10, 120, 40);
    int opaqueYellow = 0;
    int translucent = 0;
    int outside = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            const DWORD p = engine_.GetPaintPixel(x, y);
            if (p == 0xFFFFFF00u)
                ++opaqueYellow;
            else if (p != 0 && (p >> 24) != 0xFF)
                ++translucent;
            if (p != 0 && !text.PtInRect(CPoint(x, y)))
                ++outside;
        }
    }
    EXPECT_GT(opaqueYellow, 10);
    EXPECT_EQ(0, translucent);
    EXPECT_EQ(0, outside);
}

// A hover on a layered window redraws and pushes only what the button touches: a control elsewhere is not
// drawn, a mark on the screen elsewhere survives, and the result equals a repaint of everything from scratch.
TEST_F(Engine, LayeredHoverRepaintsOnlyWhatTheButtonTouchesAndMatchesAFullRepaint) {
    Open(240, 120, true);
    auto pattern = [](int x, int y) { return 0xFF000000u | (x << 16) | (y << 8) | 0x40; };
    ASSERT_TRUE(engine_.LoadBKImage(WriteSkin(L"pm_hover_back.png", 240, 120, pattern).c_str()));
    // Four button states of different colours; over the button's right end a half-transparent picture.
    const DWORD states[] = {0xFF2040C0u, 0xFFC04020u, 0xFF20C040u, 0xFF808080u};
    const std::wstring strip =
        WriteSkin(L"pm_hover_button.png", 400, 30, [&](int x, int) { return states[x / 100]; });
    const std::wstring veil = WriteSkin(L"pm_hover_veil.png", 60, 40, [](int, int) { return 0x80FFFF00u; });
    auto* button = static_cast<Tessel::MButton*>(
        engine_.CreateControl(&host_, L"MButton", 1, CRect(20, 20, 120, 50), L"", 1, 1));
    auto* picture = static_cast<Tessel::MPicture*>(
        engine_.CreateControl(&host_, L"MPicture", 2, CRect(100, 30, 160, 70), nullptr, 1, 1));
    ASSERT_TRUE(button->SetImage(strip.c_str(), 4));
    ASSERT_TRUE(picture->SetImage(veil.c_str(), 1));
    std::vector<UINT> drawn;
    auto* elsewhere = new Probe(&host_, 3, CRect(180, 80, 230, 110));
    elsewhere->drawLog = &drawn;
    engine_.GetControls()->push_back(elsewhere);
    // Wine moves the window to a surface of its own at its second push: after that, pushes land as they are.
    PaintNow(engine_);
    PaintNow(engine_);
    ASSERT_EQ(2u, drawn.size());

    // A mark drawn on the screen over the window survives a push of another part. No messages are taken from
    // here on: wine would redraw the whole window on the X events they bring.
    HWND hwnd = window_.GetSafeHwnd();
    WindowDC screen(nullptr);
    const POINT window = {40, 40};
    const RECT mark = {window.x + 200, window.y + 10, window.x + 210, window.y + 20};
    UniqueBrush magenta(::CreateSolidBrush(RGB(255, 0, 255)));
    // The whole push before may still be on its way to the X server: the mark goes on once it has landed.
    const DWORD under = engine_.GetPaintPixel(200, 10);
    ASSERT_TRUE(testing_support::WaitUntil([&] {
        return ::GetPixel(screen.get(), mark.left, mark.top) ==
               RGB(under >> 16 & 0xFF, under >> 8 & 0xFF, under & 0xFF);
    }));
    ::FillRect(screen.get(), &mark, magenta.get());
    button->OnMouseMove(0, CPoint(50, 30));
    ::UpdateWindow(hwnd);
    EXPECT_EQ(2u, drawn.size());
    EXPECT_EQ(RGB(255, 0, 255), ::GetPixel(screen.get(), mark.left, mark.top));
    for (const POINT p : {POINT{30, 25}, POINT{110, 40}, POINT{150, 60}}) {
        const DWORD frame = engine_.GetPaintPixel(p.x, p.y);
        EXPECT_EQ(RGB(frame >> 16 & 0xFF, frame >> 8 & 0xFF, frame & 0xFF),
                  ::GetPixel(screen.get(), window.x + p.x, window.y + p.y))
            << p.x << "," << p.y;
    }
    int w = 0;
    int h = 0;
    const BYTE* bits = engine_.GetPaintBits(w, h);
    const std::vector<BYTE> hovered(bits, bits + static_cast<size_t>(w) * h * 4);

    // Everything from scratch, the background and every control's cache rendered again. The background covers
    // the whole window anew, so a paint asked for the button alone draws every control and pushes it all: the
    // control elsewhere is drawn and the mark goes, so it tells.
    engine_.SetBackMode(engine_.GetBackMode(), 4);
    for (MControl* c : *engine_.GetControls())
        c->SetUpdate(0, engine_.GetBackColor());
    const RECT buttonRect = {20, 20, 120, 50};
    ::InvalidateRect(hwnd, &buttonRect, FALSE);
    ::UpdateWindow(hwnd);
    EXPECT_EQ(3u, drawn.size());
    EXPECT_NE(RGB(255, 0, 255), ::GetPixel(screen.get(), mark.left, mark.top));
    bits = engine_.GetPaintBits(w, h);
    EXPECT_TRUE(std::equal(hovered.begin(), hovered.end(), bits));
    EXPECT_EQ(Premultiplied(0xFF, 0xC04020), engine_.GetPaintPixel(30, 25));
}

TEST_F(Engine, HotSquareIsOutlinedUnderThePointer) {
    Open(320, 60, true);
    engine_.SetBackColor(RGB(0, 0, 0x80), RGB(0, 0, 0x80));
    POINT old;
    ::GetCursorPos(&old);
    ::SetCursorPos(40 + 290, 40 + 15);
    PaintNow(engine_);
    EXPECT_EQ(0xFFC8C8C8u, engine_.GetPaintPixel(285, 8));
    EXPECT_EQ(0xFFC8C8C8u, engine_.GetPaintPixel(304, 27));
    EXPECT_EQ(Premultiplied(0xFE, 0x000080), engine_.GetPaintPixel(295, 18));
    ::SetCursorPos(40 + 100, 40 + 50);
    PaintNow(engine_);
    EXPECT_EQ(Premultiplied(0xFE, 0x000080), engine_.GetPaintPixel(285, 8));
    ::SetCursorPos(old.x, old.y);
}

TEST_F(Engine, BannerState) {
    Open(300, 200, true);
    engine_.SetMessage(L"Saved", CRect(50, 150, 250, 190), Tessel::MsgWarning);
    EXPECT_EQ(255, engine_.GetBannerAlpha());
    EXPECT_EQ(CString(L"Saved"), engine_.GetBannerText());
    EXPECT_EQ(Tessel::MsgWarning, engine_.GetBannerLevel());
    PaintNow(engine_);
    // The banner covers the frame's interior where it sits.
    EXPECT_NE(Premultiplied(0xFE, 0xC8C8C8), engine_.GetPaintPixel(52, 152));
    EXPECT_EQ(Premultiplied(0xFE, 0xC8C8C8), engine_.GetPaintPixel(52, 140));
    engine_.SetProgress(3, L"Loading", CRect());
    EXPECT_EQ(CRect(0, 140, 300, 198), engine_.GetBannerRect());
    EXPECT_EQ(3, engine_.GetBannerProgress());
    engine_.SetProgress(50, L"Loading", CRect());
    EXPECT_EQ(50, engine_.GetBannerTarget());
    EXPECT_EQ(3, engine_.GetBannerProgress());  // animated towards the target by the timer
}

}  // namespace
