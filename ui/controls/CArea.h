#pragma once

#include "controls/MControl.h"

#include <objidl.h>
#include <gdiplus.h>

namespace Tessel {

// A colour wash over the window background: a vertical fade between two transparencies, or, with both at
// zero, an opaque box with an optional one-pixel frame.
class TESSEL_API CArea : public MControl {
  public:
    CArea(MObject* parent, UINT id, CRect rect, int visible, int enabled);
    ~CArea() override;

    // Transparencies in percent (0 opaque, 100 invisible) at the top and the bottom.
    void SetTransparent(int top, int bottom, DWORD colour);
    void SetFrame(int on, Gdiplus::Color colour, int unused);

    void DrawControl(HDC& dc, CRect clip) override;

  private:
    int m_nTopTransparency = 80;
    int m_nBottomTransparency = 80;
    COLORREF m_color = 0x00FFFFFF;
    int m_bFrame = 0;
    Gdiplus::ARGB m_frameColor = 0xFE050505;
};

}  // namespace Tessel
