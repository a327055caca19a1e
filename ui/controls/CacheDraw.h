#pragma once

// Internal: the common frame of a basic control's drawing. When the cache is stale it is rebuilt at
// `slots` × the control's width from the pixels under the control (one copy per slot, side by side) and
// `draw` (Graphics&, HDC cache, int w, int h) paints over them with GDI+; then the slot `slot` goes back to
// the window surface.

#include "controls/MControl.h"
#include "core/PixelCanvas.h"

namespace Tessel {

template <typename Painter>
void MControl::DrawCached(HDC& dc, int slots, int slot, Painter&& draw) {
    const int w = m_rect.Width();
    const int h = m_rect.Height();
    if (w <= 0 || h <= 0)
        return;
    const int valid = m_bUpdate;
    if (!valid)
        UpdateMemDC(dc, slots * w, h);
    HDC cache = m_cache.GetDC();
    DWORD* bits = m_cache.GetBits();
    if (cache == nullptr || bits == nullptr)
        return;
    if (!valid) {
        for (int i = 0; i < slots; ++i)
            ::BitBlt(cache, i * w, 0, w, h, dc, m_rect.left, m_rect.top, SRCCOPY);
        PixelCanvas canvas(reinterpret_cast<BYTE*>(bits), w * slots, h, false);
        Gdiplus::Graphics g(canvas.Get());
        draw(g, cache, w, h);
    }
    ::BitBlt(dc, m_rect.left, m_rect.top, w, h, cache, slot * w, 0, SRCCOPY);
}

}  // namespace Tessel
