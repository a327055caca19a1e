#pragma once

// Internal: GDI+ drawing straight into the pixels of a 32-bit DIB section as premultiplied ARGB, so that
// alpha survives (a Graphics on the DC itself does not keep it) and nothing is copied.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace Tessel {

class PixelCanvas {
  public:
    // `bits` of a width × height DIB; bottomUp for DIBs whose first row in memory is the bottom one.
    PixelCanvas(BYTE* bits, int width, int height, bool bottomUp)
        : bitmap_(width, height, bottomUp ? -width * 4 : width * 4, PixelFormat32bppPARGB,
                  bottomUp ? bits + static_cast<size_t>(height - 1) * width * 4 : bits) {
        // GDI may still hold drawing to these pixels in its batch.
        ::GdiFlush();
    }
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;

    [[nodiscard]] Gdiplus::Bitmap* Get() noexcept { return &bitmap_; }
    [[nodiscard]] bool Ok() const noexcept { return bitmap_.GetLastStatus() == Gdiplus::Ok; }

  private:
    Gdiplus::Bitmap bitmap_;
};

// A COLORREF as ARGB with alpha 254: fills meant to cover what lies beneath use it rather than 255.
inline Gdiplus::ARGB Opaque254(COLORREF colour) noexcept {
    return 0xFE000000u | (static_cast<Gdiplus::ARGB>(GetRValue(colour)) << 16) |
           (static_cast<Gdiplus::ARGB>(GetGValue(colour)) << 8) | GetBValue(colour);
}

// Scales the source rectangle of `image` into `dst` without blending its edges with the transparent outside.
inline void DrawImageClamped(Gdiplus::Graphics& g, Gdiplus::Image* image, const Gdiplus::Rect& dst, int sx,
                             int sy, int sw, int sh) {
    Gdiplus::ImageAttributes attributes;
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    g.DrawImage(image, dst, sx, sy, sw, sh, Gdiplus::UnitPixel, &attributes);
}

}  // namespace Tessel
