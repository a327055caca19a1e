// The drop shadow under wine + Xvfb: its pixels (read from the rendering it hands to its layered window, as
// Xvfb does not blend partial alpha), its place just behind the dialog, and that it follows the dialog, hides
// and goes with it, and lets clicks through to the window beneath.

#include "PaintHost.h"
#include "TestDialog.h"
#include "Wait.h"

#include "core/MShadow.h"

#include <gtest/gtest.h>

#include <functional>

using testing_support::Near;
using testing_support::Premultiplied;
using testing_support::TestDialog;

namespace {

const CRect kDialog(200, 160, 400, 280);

class ShadowTest : public testing_support::DialogFixture {
  protected:
    // The dialog shown (without activation) with its shadow; the shadow's window.
    static HWND Open(TestDialog& dialog) {
        EXPECT_NE(dialog.CreateHidden(WS_POPUP, kDialog), nullptr);
        dialog.CreateShadow(TRUE, false);
        dialog.ShowWindow(SW_SHOWNOACTIVATE);
        return dialog.GetPaintManager().GetShadow().GetWindow();
    }
};

CRect WindowRect(HWND hwnd) {
    CRect r;
    ::GetWindowRect(hwnd, &r);
    return r;
}

DWORD Rgb(COLORREF c) {
    return (static_cast<DWORD>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

CRect Grown(CRect r, int by, CPoint offset = CPoint()) {
    r.InflateRect(by, by);
    r.OffsetRect(offset.x, offset.y);
    return r;
}

TEST_F(ShadowTest, FadesOutFromTheEdgeOverTheSharpnessInItsColourAndDarkness) {
    struct Case {
        int size;
        UINT sharpness, darkness;
        COLORREF colour;
        CPoint offset;
    };
    const Tessel::MShadow defaults;
    for (const Case& c : {Case{defaults.GetSize(), defaults.GetSharpness(), defaults.GetDarkness(),
                               defaults.GetColor(), defaults.GetPosition()},
                          Case{5, 20, 255, RGB(0x20, 0x40, 0xC0), CPoint(-10, 15)},
                          Case{-35, 0, 60, RGB(0xFF, 0, 0), CPoint(35, -35)}}) {
        SCOPED_TRACE(testing::Message() << "sharpness " << c.sharpness << ", size " << c.size);
        TestDialog dialog;
        HWND shadow = Open(dialog);
        ASSERT_NE(shadow, nullptr);
        ASSERT_TRUE(dialog.SetSize(c.size) && dialog.SetSharpness(c.sharpness) &&
                    dialog.SetDarkness(c.darkness) && dialog.SetPosition(c.offset.x, c.offset.y) &&
                    dialog.SetShadowColor(c.colour));
        const CRect expected = Grown(kDialog, c.size + static_cast<int>(c.sharpness), c.offset);
        EXPECT_EQ(WindowRect(shadow), expected);

        // Across the left edge on the middle row: full darkness at the edge, then never more, about half of
        // it half-way out and next to nothing at the window's edge.
        const Tessel::MShadow& s = dialog.GetPaintManager().GetShadow();
        const int edge = static_cast<int>(c.sharpness);
        const int mid = expected.Height() / 2;
        EXPECT_EQ(s.GetPixel(edge, mid), Premultiplied(static_cast<BYTE>(c.darkness), Rgb(c.colour)));
        DWORD inner = c.darkness;
        for (int x = edge - 1; x >= 0; --x) {
            const DWORD p = s.GetPixel(x, mid);
            EXPECT_LE(p >> 24, inner) << "x " << x;
            EXPECT_TRUE(Near(p, Premultiplied(static_cast<BYTE>(p >> 24), Rgb(c.colour)))) << "x " << x;
            inner = p >> 24;
        }
        if (edge > 0) {
            EXPECT_NEAR(s.GetPixel(edge / 2, mid) >> 24, c.darkness / 2.0, c.darkness / 5.0);
            EXPECT_LE(s.GetPixel(0, mid) >> 24, c.darkness / 20);
        }
        // Rounded: the corner pixel lies outside the shadow.
        EXPECT_EQ(s.GetPixel(0, 0), 0u);
    }
}

TEST_F(ShadowTest, AnImageIsDrawnAsANinePartFrameAroundTheDialog) {
    // A 30 × 30 image: a 10-pixel translucent red border around an opaque blue centre.
    const std::wstring image = testing_support::WriteSkin(L"shadow_frame.png", 30, 30, [](int x, int y) {
        return x >= 10 && x < 20 && y >= 10 && y < 20 ? 0xFF0000FFu : 0xC8FF0000u;
    });
    TestDialog dialog;
    HWND shadow = Open(dialog);
    ASSERT_NE(shadow, nullptr);
    ASSERT_TRUE(dialog.SetPosition(0, 0) && dialog.SetShadowImage(image.c_str(), CRect(10, 10, 10, 10)));
    const Tessel::MShadow& s = dialog.GetPaintManager().GetShadow();
    EXPECT_EQ(WindowRect(shadow), Grown(kDialog, 10));
    EXPECT_TRUE(Near(s.GetPixel(1, 1), Premultiplied(0xC8, 0xFF0000), 2));
    EXPECT_TRUE(Near(s.GetPixel(5, 70), Premultiplied(0xC8, 0xFF0000), 2));
    EXPECT_TRUE(Near(s.GetPixel(110, 70), 0xFF0000FFu, 2));
    // Insets with a negative side are not taken; an image that cannot be loaded brings the computed shadow.
    ASSERT_TRUE(dialog.SetShadowImage(image.c_str(), CRect(-1, 0, 0, 0)));
    EXPECT_EQ(WindowRect(shadow), Grown(kDialog, 10));
    EXPECT_FALSE(dialog.SetShadowImage(L"shadow_missing.png", CRect(10, 10, 10, 10)));
    EXPECT_EQ(WindowRect(shadow), Grown(kDialog, static_cast<int>(s.GetSharpness())));
}

TEST_F(ShadowTest, FollowsTheDialogJustBehindItHidesWithItAndGoesWithIt) {
    TestDialog dialog;
    HWND shadow = Open(dialog);
    ASSERT_NE(shadow, nullptr);
    HWND hwnd = dialog.GetSafeHwnd();
    Tessel::PaintManager& engine = dialog.GetPaintManager();
    const Tessel::MShadow& s = engine.GetShadow();
    EXPECT_EQ(::GetWindow(hwnd, GW_HWNDNEXT), shadow);
    const CRect placed = WindowRect(shadow);
    const UINT renders = s.GetRenderCount();

    // Out-of-range settings change nothing; moves and paints only move the shadow; a new size renders it.
    for (BOOL accepted : {dialog.SetSize(36), dialog.SetSize(-36), dialog.SetSharpness(36),
                          dialog.SetDarkness(256), dialog.SetPosition(36, 0), dialog.SetPosition(0, -36)})
        EXPECT_FALSE(accepted);
    ::SetWindowPos(hwnd, nullptr, 260, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int i = 0; i < 3; ++i)
        testing_support::PaintNow(engine);
    EXPECT_EQ(WindowRect(shadow), Grown(placed, 0, CPoint(60, 40)));
    EXPECT_EQ(s.GetRenderCount(), renders);
    ::SetWindowPos(hwnd, nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(WindowRect(shadow).Size(), CSize(placed.Width() + 100, placed.Height() + 30));
    EXPECT_EQ(s.GetRenderCount(), renders + 1);

    // Topmost with a topmost dialog, still just behind it.
    ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_NE(::GetWindowLongPtrW(shadow, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(::GetWindow(hwnd, GW_HWNDNEXT), shadow);

    struct Step {
        const char* what;
        std::function<void()> act;
        bool shown;
    };
    for (const Step& step : {Step{"hidden", [&] { dialog.ShowWindow(SW_HIDE); }, false},
                             Step{"shown", [&] { dialog.ShowWindow(SW_SHOWNOACTIVATE); }, true},
                             Step{"minimised", [&] { dialog.ShowWindow(SW_SHOWMINNOACTIVE); }, false},
                             Step{"restored", [&] { dialog.ShowWindow(SW_SHOWNOACTIVATE); }, true},
                             Step{"shadow off", [&] { dialog.SetShadowShow(FALSE); }, false},
                             Step{"shadow on", [&] { dialog.SetShadowShow(TRUE); }, true},
                             Step{"disabled", [&] { engine.DisableShadow(TRUE); }, false}}) {
        step.act();
        EXPECT_EQ(::IsWindowVisible(shadow) != FALSE, step.shown) << step.what;
    }

    dialog.DestroyWindow();
    EXPECT_FALSE(::IsWindow(shadow));
    EXPECT_EQ(::FindWindowExW(nullptr, nullptr, L"TesselShadow", nullptr), nullptr);
}

TEST_F(ShadowTest, ClicksOnTheShadowReachTheWindowBeneathAndNeverActivateIt) {
    TestDialog beneath;
    ASSERT_NE(beneath.CreateHidden(WS_POPUP, CRect(100, 100, 300, 340)), nullptr);
    beneath.ShowWindow(SW_SHOWNOACTIVATE);
    TestDialog dialog;
    HWND shadow = Open(dialog);
    ASSERT_NE(shadow, nullptr);
    ASSERT_TRUE(dialog.SetSharpness(35) && dialog.SetPosition(0, 0));
    // 15 pixels left of the dialog, in the shadow's darker half.
    const POINT pt = {kDialog.left - 15, kDialog.top + 60};
    EXPECT_GT(dialog.GetPaintManager().GetShadow().GetPixel(35 - 15, 35 + 60) >> 24, 40u);
    EXPECT_EQ(::WindowFromPoint(pt), beneath.GetSafeHwnd());

    ::SetCursorPos(pt.x, pt.y);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(::SendInput(2, click, sizeof(INPUT)), 2u);
    EXPECT_TRUE(testing_support::WaitUntil([&] { return beneath.lbuttonUps == 1; },
                                           testing_support::kGiveUpMs,
                                           testing_support::WhileWaiting::PumpMessages));
    EXPECT_NE(::GetForegroundWindow(), shadow);
    EXPECT_NE(::GetActiveWindow(), shadow);
    dialog.DestroyWindow();
    beneath.DestroyWindow();
}

}  // namespace
