#pragma once

// Internal: the common frame of a basic control's drawing. When the cache is stale it is rebuilt at
// `cacheWidth` × h from the pixels under the control (`slots` copies side by side) and `draw` paints over
// them with GDI+; then the w × h block at `sourceX` goes back to the window surface.

#include "controls/MControl.h"
#include "core/PixelCanvas.h"

namespace Tessel {

template <typename Draw>
void DrawThroughCache(HDC& dc, const CRect& rect, int cacheValid, HDC cache, DWORD* bits, int slots,
                      int sourceX, Draw&& draw) {
    const int w = rect.Width();
    const int h = rect.Height();
    if (cache == nullptr || bits == nullptr)
        return;
    if (!cacheValid) {
        for (int i = 0; i < slots; ++i)
            ::BitBlt(cache, i * w, 0, w, h, dc, rect.left, rect.top, SRCCOPY);
        PixelCanvas canvas(reinterpret_cast<BYTE*>(bits), w * slots, h, false);
        Gdiplus::Graphics g(canvas.Get());
        draw(g, cache);
    }
    ::BitBlt(dc, rect.left, rect.top, w, h, cache, sourceX, 0, SRCCOPY);
}

}  // namespace Tessel
