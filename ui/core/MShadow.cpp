#include "core/MShadow.h"

namespace Tessel {

namespace {

constexpr int kMaxOffset = 35;

bool InOffsetRange(int v) noexcept {
    return v >= -kMaxOffset && v <= kMaxOffset;
}

}  // namespace

void MShadow::Create(HWND owner) noexcept {
    m_hOwner = owner != nullptr && ::IsWindow(owner) ? owner : nullptr;
}

BOOL MShadow::SetSize(int size) noexcept {
    if (!InOffsetRange(size))
        return FALSE;
    m_nSize = size;
    return TRUE;
}

BOOL MShadow::SetSharpness(UINT sharpness) noexcept {
    if (sharpness > static_cast<UINT>(kMaxOffset))
        return FALSE;
    m_nSharpness = sharpness;
    return TRUE;
}

BOOL MShadow::SetDarkness(UINT darkness) noexcept {
    if (darkness > 255)
        return FALSE;
    m_nDarkness = darkness;
    return TRUE;
}

BOOL MShadow::SetPosition(int x, int y) noexcept {
    if (!InOffsetRange(x) || !InOffsetRange(y))
        return FALSE;
    m_nX = x;
    m_nY = y;
    return TRUE;
}

BOOL MShadow::SetColor(COLORREF colour) noexcept {
    m_color = colour;
    return TRUE;
}

void MShadow::SetImage(const wchar_t* fileName, CRect insets) {
    m_strImage = fileName;
    m_nImageID = 0;
    if (insets.left >= 0 && insets.top >= 0 && insets.right >= 0 && insets.bottom >= 0)
        m_rcInsets = insets;
}

void MShadow::SetImage(UINT resourceId, CRect insets) {
    m_strImage.Empty();
    m_nImageID = resourceId;
    if (insets.left >= 0 && insets.top >= 0 && insets.right >= 0 && insets.bottom >= 0)
        m_rcInsets = insets;
}

void MShadow::Show(BOOL show) noexcept {
    m_bShown = show ? TRUE : FALSE;
}

void MShadow::Disable(BOOL disable) noexcept {
    m_bDisabled = disable ? TRUE : FALSE;
}

}  // namespace Tessel
