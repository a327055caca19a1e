#include "core/Background.h"

#include "controls/MRender.h"
#include "core/DrawSurface.h"
#include "core/PixelCanvas.h"

#include <cstring>

namespace Tessel {

BOOL Background::SetImage(ImageSource source) {
    renderedValid_ = false;
    image_ = source ? source() : nullptr;
    source_ = image_ ? std::move(source) : nullptr;
    return image_ ? TRUE : FALSE;
}

void Background::SetMode(enumBackMode mode, int corner) noexcept {
    mode_ = mode;
    corner_ = corner;
    renderedValid_ = false;
}

void Background::SetColors(COLORREF fill, COLORREF border) noexcept {
    fill_ = fill;
    border_ = border;
    renderedValid_ = false;
}

void Background::DrawImage(Gdiplus::Graphics& g, CRect rect) {
    if (image_) {
        DrawDecoded(g, image_.get(), rect);
    } else if (source_) {
        DrawDecoded(g, source_().get(), rect);
    }
}

void Background::DrawDecoded(Gdiplus::Graphics& g, Gdiplus::Image* image, CRect rect) const {
    const int width = image != nullptr ? static_cast<int>(image->GetWidth()) : 0;
    const int height = image != nullptr ? static_cast<int>(image->GetHeight()) : 0;
    if (width <= 0 || height <= 0)
        return;
    if (mode_ == BackModeStretch) {
        DrawImageClamped(g, image, Gdiplus::Rect(rect.left, rect.top, rect.Width(), rect.Height()), 0, 0,
                         width, height);
    } else if (mode_ == BackModeFrame) {
        MRender::DrawImageFrame(g, image, rect, 0, 0, width, height, corner_);
    }
}

void Background::Paint(const DrawSurface& surface, const CRect& update) {
    const int width = surface.Width();
    const int height = surface.Height();
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    DWORD* pixels = surface.GetBits();
    if (!renderedValid_) {
        // Nothing painted stays fully transparent.
        std::memset(pixels, 0, count * sizeof(DWORD));
        {
            PixelCanvas canvas(reinterpret_cast<BYTE*>(pixels), width, height, true);
            Gdiplus::Graphics g(canvas.Get());
            if (source_) {
                DrawImage(g, CRect(0, 0, width, height));
                image_.reset();
            } else {
                g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
                Gdiplus::SolidBrush border{Gdiplus::Color(Opaque254(border_))};
                Gdiplus::SolidBrush fill{Gdiplus::Color(Opaque254(fill_))};
                g.FillRectangle(&border, 0, 0, width, height);
                g.FillRectangle(&fill, 1, 1, width - 2, height - 2);
            }
        }
        rendered_.assign(pixels, pixels + count);
        renderedValid_ = true;
        return;
    }
    for (int y = update.top; y < update.bottom; ++y) {
        const size_t offset = static_cast<size_t>(surface.Row(y) - pixels) + update.left;
        std::memcpy(pixels + offset, rendered_.data() + offset,
                    static_cast<size_t>(update.Width()) * sizeof(DWORD));
    }
}

}  // namespace Tessel
