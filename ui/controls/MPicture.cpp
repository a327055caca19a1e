#include "controls/MPicture.h"

#include "controls/CacheDraw.h"
#include "controls/MRender.h"
#include "core/Manager.h"

#include <algorithm>

namespace Tessel {

MPicture::MPicture(MObject* parent, UINT id, CRect rect, int visible, int enabled)
    : MControlFont(parent, id, rect, L"", visible, enabled, 1) {
    m_nImageCount = 1;
}

MPicture::~MPicture() {
    m_pImage = nullptr;
}

int MPicture::SetImage(const wchar_t* fileName, int count) {
    m_pImage = nullptr;
    m_ownImage.reset();
    m_nFrameWidth = 0;
    m_nImageHeight = 0;
    if (fileName != nullptr && *fileName != L'\0' && count > 0)
        m_ownImage.reset(MRender::LoadImageFromFile(Manager::GetSkinFolder() + fileName));
    const int loaded = m_ownImage ? 1 : 0;
    if (loaded) {
        m_pImage = m_ownImage.get();
        m_nFrameWidth = static_cast<int>(m_ownImage->GetWidth()) / count;
        m_nImageHeight = static_cast<int>(m_ownImage->GetHeight());
        m_nImageCount = count;
        m_strImagePath = fileName;
    }
    UpdateControl(1, 0);
    return loaded;
}

int MPicture::SetImage(UINT resourceId, CString resourceType, int count) {
    if (count <= 0)
        return 0;
    std::unique_ptr<Gdiplus::Image> image(
        MRender::LoadImageFromIDResource(resourceId, resourceType, Manager::GetInstance()));
    if (!image)
        return 0;
    m_ownImage = std::move(image);
    m_pImage = m_ownImage.get();
    m_nFrameWidth = static_cast<int>(m_ownImage->GetWidth()) / count;
    m_nImageHeight = static_cast<int>(m_ownImage->GetHeight());
    m_nImageCount = count;
    UpdateControl(1, 0);
    return 1;
}

int MPicture::SetShowMode(enumShowMode mode, int inset) {
    if (mode == m_nShowMode && (mode != ShowModeFrame || inset == m_nFrameInset))
        return 0;
    m_nFrameInset = inset;
    m_nShowMode = mode;
    UpdateControl(1, 0);
    return 1;
}

int MPicture::SetShowModeMID(int left, int top, int right, int bottom) {
    m_nLeft = left;
    m_nTop = top;
    m_nRight = right;
    m_nBottom = bottom;
    m_nShowMode = ShowModeFrameMID;
    UpdateControl(1, 0);
    return 1;
}

void MPicture::DrawImage(Gdiplus::Graphics& g, int w, int h) {
    Gdiplus::Image* image = m_pImage;
    const int fw = m_nFrameWidth;
    const int ih = m_nImageHeight;
    if (image == nullptr || fw <= 0 || ih <= 0)
        return;
    const CRect whole(0, 0, w, h);
    switch (m_nShowMode) {
        case ShowModeNormal: {
            const int x = m_uAlignment == 0 ? 0 : m_uAlignment == 2 ? w - fw : (w - fw) / 2;
            const int y = m_uVAlignment == 0 ? 0 : m_uVAlignment == 8 ? h - ih : (h - ih) / 2;
            g.DrawImage(image, Gdiplus::Rect(x, y, fw, ih), 0, 0, fw, ih, Gdiplus::UnitPixel);
            break;
        }
        case ShowModeTile:
            for (int y = 0; y < h; y += ih) {
                for (int x = 0; x < w; x += fw) {
                    const int dw = std::min(fw, w - x);
                    const int dh = std::min(ih, h - y);
                    g.DrawImage(image, Gdiplus::Rect(x, y, dw, dh), 0, 0, dw, dh, Gdiplus::UnitPixel);
                }
            }
            break;
        case ShowModeStretch:
            DrawImageClamped(g, image, Gdiplus::Rect(0, 0, w, h), 0, 0, fw, ih);
            break;
        case ShowModeFrame:
            MRender::DrawImageFrame(g, image, whole, 0, 0, fw, ih, m_nFrameInset);
            break;
        case ShowModeFrameMID:
            MRender::DrawImageFrameMID(g, image, whole, 0, 0, fw, ih, m_nLeft, m_nTop, m_nRight, m_nBottom);
            break;
        case ShowModeCustom:
            if (m_rcCustom.Width() > 0 && m_rcCustom.Height() > 0)
                g.DrawImage(image, Gdiplus::Rect(0, 0, w, h), m_rcCustom.left, m_rcCustom.top,
                            m_rcCustom.Width(), m_rcCustom.Height(), Gdiplus::UnitPixel);
            break;
        default:
            break;
    }
}

void MPicture::DrawControl(HDC& dc, CRect) {
    DrawCached(dc, 1, 0, [this](Gdiplus::Graphics& g, HDC, int w, int h) { DrawImage(g, w, h); });
}

}  // namespace Tessel
