#pragma once

#include "controls/MControlFont.h"

#include <memory>

namespace Tessel {

// How a picture lays its image out over the control.
enum enumShowMode : int {
    ShowModeNormal = 0,    // natural size, placed by the alignments
    ShowModeTile = 1,      // tiled from the top-left corner
    ShowModeStretch = 2,   // stretched to the control
    ShowModeFrame = 3,     // nine-patch with the frame inset as corner size
    ShowModeFrameMID = 4,  // nine-patch with four insets
    ShowModeCustom = 5,    // the custom source rectangle stretched to the control
};

// An image drawn in one of six layouts. Unlike other controls it loads and owns its image.
class TESSEL_API MPicture : public MControlFont {
  public:
    MPicture(MObject* parent, UINT id, CRect rect, int visible, int enabled);
    ~MPicture() override;

    // 1 when the image is loaded; 0 leaves the picture without an image.
    int SetImage(const wchar_t* fileName, int count) override;
    int SetImage(UINT resourceId, CString resourceType, int count) override;
    // 0 when nothing changes.
    int SetShowMode(enumShowMode mode, int inset);
    int SetShowModeMID(int left, int top, int right, int bottom);
    void SetCustomRect(CRect rect) noexcept { m_rcCustom = rect; }
    [[nodiscard]] int GetShowMode() const noexcept { return m_nShowMode; }

    void DrawControl(HDC& dc, CRect clip) override;

  private:
    void DrawImage(Gdiplus::Graphics& g, int w, int h);

    int m_nShowMode = ShowModeNormal;
    int m_nFrameInset = 4;
    int m_nLeft = 0;
    int m_nTop = 0;
    int m_nRight = 0;
    int m_nBottom = 0;
    CRect m_rcCustom;
    std::unique_ptr<Gdiplus::Image> m_ownImage;
};

}  // namespace Tessel
