#include "controls/MControlFont.h"

#include "core/Manager.h"
#include "core/PaintManager.h"

#include <cmath>
#include <cwchar>

namespace Tessel {

namespace {

std::unique_ptr<Gdiplus::SolidBrush> MakeBrush(Gdiplus::ARGB colour) {
    std::unique_ptr<Gdiplus::SolidBrush> brush(new Gdiplus::SolidBrush(Gdiplus::Color(colour)));
    if (!brush || brush->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    return brush;
}

Gdiplus::StringAlignment ToStringAlignment(UINT value, UINT centre, UINT farEnd) noexcept {
    if (value == centre)
        return Gdiplus::StringAlignmentCenter;
    if (value == farEnd)
        return Gdiplus::StringAlignmentFar;
    return Gdiplus::StringAlignmentNear;
}

}  // namespace

MControlFont::MControlFont(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible,
                           int enabled, int response)
    : MControl(parent, id, rect, visible, enabled, response),
      m_strTitle(title),
      m_strFaceName(Manager::GetFontName()),
      m_nFontWidth(Manager::GetFontWidth()),
      m_pTextBrush(MakeBrush(m_textColor)) {}

MControlFont::~MControlFont() = default;

void MControlFont::SetTextFont(CString face) {
    m_strFaceName = face;
}

void MControlFont::SetTextColor(Gdiplus::Color colour) {
    m_pTextBrush.reset();
    m_textColor = colour.GetValue();
    m_pTextBrush = MakeBrush(m_textColor);
}

void MControlFont::ApplyImage(const ImgResInfo* info, int count) {
    m_nImageCount = count;
    m_pImage = info->image.get();
    m_nFrameWidth = info->frameWidth;
    m_nImageHeight = info->height;
    UpdateControl(1, 0);
}

int MControlFont::SetImage(UINT resourceId, CString resourceType, int count) {
    if (m_pManager == nullptr)
        return 0;
    const ImgResInfo* info = m_pManager->AddImgResInfo(resourceId, resourceType, count, 1);
    if (info == nullptr)
        return 0;
    ApplyImage(info, count);
    return 1;
}

int MControlFont::SetImage(const wchar_t* fileName, int count) {
    if (m_pManager == nullptr)
        return 0;
    const ImgResInfo* info = m_pManager->AddImgResInfo(fileName, count);
    if (info == nullptr)
        return 0;
    ApplyImage(info, count);
    return 1;
}

void MControlFont::SetTitle(const wchar_t* text) {
    ClearGDIFont();
    SetControlTitle(text);
    UpdateControl(1, 0);
}

void MControlFont::SetAlignment(UINT horizontal) {
    SetAlignment(horizontal, m_uVAlignment);
}

void MControlFont::SetVAlignment(UINT vertical) {
    SetAlignment(m_uAlignment, vertical);
}

void MControlFont::SetAlignment(UINT horizontal, UINT vertical) {
    if (horizontal == m_uAlignment && vertical == m_uVAlignment)
        return;
    m_uAlignment = horizontal;
    m_uVAlignment = vertical;
    UpdateControl(1, 0);
}

void MControlFont::GetAlignment(UINT& horizontal, UINT& vertical) const noexcept {
    horizontal = m_uAlignment;
    vertical = m_uVAlignment;
}

void MControlFont::SetFont(const wchar_t* face, int size, Gdiplus::FontStyle style) {
    m_strFaceName = face;
    m_nFontWidth = size;
    m_fontStyle = style;
}

Gdiplus::FontFamily* MControlFont::GetFontFamily(const wchar_t* face) {
    m_pFontFamily.reset();
    if (m_pManager == nullptr)
        return nullptr;
    // A face the system lacks (the default "Arial" on a machine without it) falls back to the font the
    // library carries, so that text never silently disappears.
    Gdiplus::FontFamily* found = m_pManager->FindTempFont(face);
    if (found == nullptr)
        found = m_pManager->FindTempFont(kLibraryFontName);
    if (found == nullptr)
        found = m_pManager->AddTempFont(kLibraryFontName, kLibraryFontId);
    if (found == nullptr)
        return nullptr;
    m_pFontFamily.reset(found->Clone());
    if (m_pFontFamily && m_pFontFamily->GetLastStatus() != Gdiplus::Ok)
        m_pFontFamily.reset();
    return m_pFontFamily.get();
}

HFONT MControlFont::GetGDIFont() {
    if (m_hFont)
        return m_hFont.get();
    LOGFONTW lf = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    const CString face = Manager::GetFontName();
    ::wcsncpy(lf.lfFaceName, face.GetString(), LF_FACESIZE - 1);
    lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
    lf.lfHeight = m_nFontWidth == INT_MIN ? INT_MAX : -m_nFontWidth;
    lf.lfCharSet = DEFAULT_CHARSET;
    if (m_fontStyle & Gdiplus::FontStyleBold)
        lf.lfWeight += 700;
    if (m_fontStyle & Gdiplus::FontStyleItalic)
        lf.lfItalic = TRUE;
    if (m_fontStyle & Gdiplus::FontStyleUnderline)
        lf.lfUnderline = TRUE;
    m_hFont.reset(::CreateFontIndirectW(&lf));
    return m_hFont.get();
}

float MControlFont::ScaledFontSize(int size, float scale) noexcept {
    const double product = static_cast<double>(size) * static_cast<double>(scale);
    if (!std::isfinite(product) || product <= 0.0)
        return 0.0f;
    // Font sizes far beyond any screen are capped rather than overflowing the conversion.
    if (product >= 65535.0)
        return 65535.0f;
    return static_cast<float>(static_cast<int>(product));
}

std::unique_ptr<Gdiplus::Font> MControlFont::CreateTextFont() {
    Gdiplus::FontFamily* family = GetFontFamily(m_strFaceName);
    const float size = ScaledFontSize(m_nFontWidth, Manager::GetScaleValue());
    if (family == nullptr || size <= 0.0f)
        return nullptr;
    std::unique_ptr<Gdiplus::Font> font(new Gdiplus::Font(family, size, m_fontStyle, Gdiplus::UnitPixel));
    if (!font || font->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    return font;
}

void MControlFont::GetStringFormat(Gdiplus::StringFormat& format) const {
    format.SetAlignment(ToStringAlignment(m_uAlignment, 1, 2));
    format.SetLineAlignment(ToStringAlignment(m_uVAlignment, 4, 8));
}

void MControlFont::SetControlTitle(const wchar_t* text) {
    m_strTitle = text;
}

CString MControlFont::GetControlTitle() {
    return m_strTitle;
}

}  // namespace Tessel
