#include "controls/CArea.h"

#include "controls/CacheDraw.h"
#include "controls/MRender.h"

#include <algorithm>

namespace Tessel {

CArea::CArea(MObject* parent, UINT id, CRect rect, int visible, int enabled)
    : MControl(parent, id, rect, visible, enabled, 1) {}

CArea::~CArea() = default;

void CArea::SetTransparent(int top, int bottom, DWORD colour) {
    m_nTopTransparency = top;
    m_nBottomTransparency = bottom;
    m_color = colour;
    UpdateControl(1, 0);
}

void CArea::SetFrame(int on, Gdiplus::Color colour, int) {
    m_bFrame = on;
    m_frameColor = colour.GetValue();
    UpdateControl(1, 0);
}

void CArea::DrawControl(HDC& dc, CRect) {
    const Gdiplus::ARGB colour = Opaque254(m_color);
    DrawCached(dc, 1, 0, [&](Gdiplus::Graphics& g, HDC cache, int w, int h) {
        if (m_nTopTransparency != 0 || m_nBottomTransparency != 0) {
            // The wash is blended row by row from a surface filled with the colour.
            DrawSurface wash;
            if (!wash.Create(dc, w, h))
                return;
            {
                PixelCanvas canvas(reinterpret_cast<BYTE*>(wash.GetBits()), w, h, false);
                Gdiplus::Graphics wg(canvas.Get());
                wg.Clear(Gdiplus::Color(colour));
            }
            // The blend below works on the cache DC: GDI+ must have written its pixels first.
            g.Flush(Gdiplus::FlushIntentionSync);
            HDC washDC = wash.GetDC();
            MRender::DrawVerticalTransition(cache, washDC, CRect(0, 0, w, h), CRect(0, 0, w, h),
                                            m_nTopTransparency, m_nBottomTransparency);
            return;
        }
        g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        Gdiplus::SolidBrush fill{Gdiplus::Color(colour)};
        if (m_bFrame) {
            Gdiplus::SolidBrush frame{Gdiplus::Color(m_frameColor)};
            g.FillRectangle(&frame, 0, 0, w, h);
            g.FillRectangle(&fill, 1, 1, w - 2, h - 2);
        } else {
            g.FillRectangle(&fill, 0, 0, w, h);
        }
    });
}

}  // namespace Tessel
