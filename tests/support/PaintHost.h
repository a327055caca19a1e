#pragma once

// A plain native window whose engine paints it, and helpers that write skin images and read premultiplied
// pixels.

#include "SkinImages.h"

#include "core/MWindow.h"
#include "core/PaintManager.h"
#include "win/ScopeGuards.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace testing_support {

// Hands WM_PAINT to the engine; everything else to the default procedure.
class PaintWindow : public Tessel::MWindow {
  public:
    explicit PaintWindow(Tessel::PaintManager& engine) : engine_(engine) {}
    const wchar_t* GetWindowClassName() const override { return L"TesselPaintProbe"; }
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_PAINT && engine_.OnPaint())
            return 0;
        return Tessel::MWindow::OnWindowMessage(msg, wParam, lParam);
    }

  private:
    Tessel::PaintManager& engine_;
};

// Writes a skin image (see SkinImages.h) and returns its name.
inline std::wstring WriteSkin(const std::wstring& name, int w, int h,
                              const std::function<DWORD(int, int)>& colour) {
    EXPECT_TRUE(testing_support::WriteSkinImage(name, w, h, colour)) << "cannot write the skin image";
    return name;
}

// An opaque colour 0xRRGGBB with the given alpha, premultiplied as the engine's surface holds it.
inline DWORD Premultiplied(BYTE alpha, DWORD rgb) {
    auto channel = [&](int shift) { return ((((rgb >> shift) & 0xFF) * alpha + 127) / 255) << shift; };
    return (static_cast<DWORD>(alpha) << 24) | channel(16) | channel(8) | channel(0);
}

// Each channel within `tolerance` of the expected one.
inline bool Near(DWORD actual, DWORD expected, int tolerance = 1) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (a - e > tolerance || e - a > tolerance)
            return false;
    }
    return true;
}

// Shows the window without activating it and paints it at once.
inline void PaintNow(Tessel::PaintManager& engine) {
    engine.Invalidate();
    ::UpdateWindow(engine.GetPaintWnd());
}

}  // namespace testing_support
