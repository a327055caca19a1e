#include "core/Background.h"

#include "controls/MRender.h"
#include "core/DrawSurface.h"
#include "core/PixelCanvas.h"

#include <cstring>

namespace Tessel {

BOOL Background::SetImage(Gdiplus::Image* image) {
    renderedValid_ = false;
    image_.reset(image);
    imageWidth_ = image_ ? static_cast<int>(image_->GetWidth()) : 0;
    imageHeight_ = image_ ? static_cast<int>(image_->GetHeight()) : 0;
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
    if (!image_ || imageWidth_ <= 0 || imageHeight_ <= 0)
        return;
    if (mode_ == BackModeStretch) {
        DrawImageClamped(g, image_.get(), Gdiplus::Rect(rect.left, rect.top, rect.Width(), rect.Height()), 0,
                         0, imageWidth_, imageHeight_);
    } else if (mode_ == BackModeFrame) {
        MRender::DrawImageFrame(g, image_.get(), rect, 0, 0, imageWidth_, imageHeight_, corner_);
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
            if (image_) {
                DrawImage(g, CRect(0, 0, width, height));
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
