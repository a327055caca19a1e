#pragma once

// A plain native window whose engine paints it, an owner that forwards repaint requests to the engine and
// records notifications, and helpers that write skin images and read premultiplied pixels.

#include "controls/MObject.h"
#include "core/MWindow.h"
#include "core/PaintManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tessel_test {

class GdiplusScope {
  public:
    GdiplusScope() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    ~GdiplusScope() { Gdiplus::GdiplusShutdown(token_); }
    GdiplusScope(const GdiplusScope&) = delete;
    GdiplusScope& operator=(const GdiplusScope&) = delete;

  private:
    ULONG_PTR token_ = 0;
};

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

struct Notice {
    UINT id;
    UINT code;
};

class Host : public Tessel::MObject {
  public:
    explicit Host(Tessel::PaintManager& engine) : engine_(engine) {}
    LRESULT OnBaseMessage(UINT id, UINT code, WPARAM, LPARAM) override {
        notices.push_back({id, code});
        return 0;
    }
    LRESULT OnControlUpdate(CRect rect, int discard, Tessel::MControl* control) override {
        ++updates;
        return engine_.OnControlUpdate(rect, discard, control);
    }
    std::vector<Notice> notices;
    int updates = 0;

  private:
    Tessel::PaintManager& engine_;
};

// The skin folder beside the test executable, created when missing.
inline std::wstring SkinFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.rfind(L'\\') + 1);
    folder += L"skins";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\theme1\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// Writes a w × h PNG whose pixel (x, y) is colour(x, y) (0xAARRGGBB) into the skin folder; returns its name.
inline std::wstring WriteSkin(const std::wstring& name, int w, int h,
                              const std::function<DWORD(int, int)>& colour) {
    Gdiplus::Bitmap bitmap(w, h, PixelFormat32bppARGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bitmap.SetPixel(x, y, Gdiplus::Color(colour(x, y)));
    const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    EXPECT_EQ(Gdiplus::Ok, bitmap.Save((SkinFolder() + name).c_str(), &png, nullptr));
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

}  // namespace tessel_test
