#include "core/ShadowRender.h"

#include "controls/MRender.h"
#include "core/DrawSurface.h"
#include "core/PixelCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Tessel {

namespace {

// Corner radius of the computed shadow's rounded rectangle.
constexpr float kCornerRadius = 8.0f;

// Signed distance from (px, py) to a rounded rectangle centred at (cx, cy) with half extents hx, hy and
// corner radius r: negative inside, positive outside.
float RoundedRectDistance(float px, float py, float cx, float cy, float hx, float hy, float r) noexcept {
    const float qx = std::fabs(px - cx) - (hx - r);
    const float qy = std::fabs(py - cy) - (hy - r);
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    const float inside = std::min(std::max(qx, qy), 0.0f);
    return outside + inside - r;
}

// How much of the darkness is left at `t` of the way out through the fading band: the smooth step of a
// blurred edge, 1 at its start and 0 at its end.
float Fade(float t) noexcept {
    if (t <= 0.0f)
        return 1.0f;
    if (t >= 1.0f)
        return 0.0f;
    return 1.0f - t * t * (3.0f - 2.0f * t);
}

DWORD PremultipliedPixel(BYTE alpha, COLORREF colour) noexcept {
    auto channel = [alpha](BYTE c) { return static_cast<DWORD>((c * alpha + 127) / 255); };
    return (static_cast<DWORD>(alpha) << 24) | (channel(GetRValue(colour)) << 16) |
           (channel(GetGValue(colour)) << 8) | channel(GetBValue(colour));
}

}  // namespace

CRect ShadowBounds(const CRect& owner, int size, UINT sharpness, CPoint offset) noexcept {
    CRect core = owner;
    core.InflateRect(size, size);
    if (core.Width() < 0)
        core.left = core.right = owner.CenterPoint().x;
    if (core.Height() < 0)
        core.top = core.bottom = owner.CenterPoint().y;
    core.OffsetRect(offset.x, offset.y);
    const auto fade = static_cast<LONG>(sharpness);
    core.InflateRect(fade, fade);
    return core.IsRectEmpty() ? CRect() : core;
}

CRect ImageShadowBounds(const CRect& owner, const CRect& insets, int size, CPoint offset) noexcept {
    CRect bounds(owner.left - insets.left - size, owner.top - insets.top - size,
                 owner.right + insets.right + size, owner.bottom + insets.bottom + size);
    bounds.OffsetRect(offset.x, offset.y);
    return bounds.IsRectEmpty() ? CRect() : bounds;
}

void RenderShadow(const DrawSurface& surface, UINT sharpness, BYTE darkness, COLORREF colour) noexcept {
    const int width = surface.Width();
    const int height = surface.Height();
    if (surface.GetBits() == nullptr)
        return;
    const auto band = static_cast<float>(sharpness);
    const float hx = std::max(0.0f, static_cast<float>(width) / 2.0f - band);
    const float hy = std::max(0.0f, static_cast<float>(height) / 2.0f - band);
    const float radius = std::min({kCornerRadius, hx, hy});
    const float cx = static_cast<float>(width) / 2.0f;
    const float cy = static_cast<float>(height) / 2.0f;
    const DWORD solid = PremultipliedPixel(darkness, colour);
    for (int y = 0; y < height; ++y) {
        DWORD* row = surface.Row(y);
        const float py = static_cast<float>(y) + 0.5f;
        for (int x = 0; x < width; ++x) {
            // Pixel centres: the rectangle's own edge pixels lie half a pixel inside it.
            const float d = RoundedRectDistance(static_cast<float>(x) + 0.5f, py, cx, cy, hx, hy, radius);
            if (d <= 0.0f) {
                row[x] = solid;
                continue;
            }
            const float left = band > 0.0f ? Fade(d / band) : 0.0f;
            row[x] = PremultipliedPixel(static_cast<BYTE>(std::lround(left * darkness)), colour);
        }
    }
}

void RenderImageShadow(const DrawSurface& surface, Gdiplus::Image* image, const CRect& insets) {
    DWORD* bits = surface.GetBits();
    if (bits == nullptr)
        return;
    std::memset(bits, 0, static_cast<size_t>(surface.Width()) * static_cast<size_t>(surface.Height()) * 4);
    if (image == nullptr)
        return;
    const int iw = static_cast<int>(image->GetWidth());
    const int ih = static_cast<int>(image->GetHeight());
    const int left = std::clamp(static_cast<int>(insets.left), 0, iw);
    const int right = std::clamp(static_cast<int>(insets.right), 0, iw - left);
    const int top = std::clamp(static_cast<int>(insets.top), 0, ih);
    const int bottom = std::clamp(static_cast<int>(insets.bottom), 0, ih - top);
    PixelCanvas canvas(reinterpret_cast<BYTE*>(bits), surface.Width(), surface.Height(), false);
    Gdiplus::Graphics g(canvas.Get());
    MRender::DrawImageFrameMID(g, image, CRect(0, 0, surface.Width(), surface.Height()), 0, 0, iw, ih, left,
                               top, right, bottom);
}

}  // namespace Tessel
