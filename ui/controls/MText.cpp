#include "controls/MText.h"

#include "controls/CacheDraw.h"

#include <cwchar>

namespace Tessel {

namespace {

bool SameText(const CString& stored, const wchar_t* given) {
    return std::wcscmp(stored.GetString(), given != nullptr ? given : L"") == 0;
}

}  // namespace

MText::MText(MObject* parent, UINT id, CRect rect, const wchar_t* text, int visible)
    : MControlFont(parent, id, rect, text, visible, 0, 1) {}

MText::~MText() = default;

void MText::EnableTextBack(int on, Gdiplus::Color colour) {
    if (on != m_bTextBack) {
        m_bTextBack = on;
        m_textBackColor = colour.GetValue();
    }
    UpdateControl(1, 0);
}

void MText::SetMarkText(const wchar_t* mark) {
    if (mark == nullptr || SameText(m_strMark, mark))
        return;
    m_strMark = mark;
    UpdateControl(1, 0);
}

void MText::SetMarkText(const wchar_t* mark, Gdiplus::Color colour, int option) {
    if (mark == nullptr ||
        (SameText(m_strMark, mark) && m_markColor == colour.GetValue() && m_nMarkOption == option))
        return;
    m_strMark = mark;
    m_markColor = colour.GetValue();
    m_nMarkOption = option;
    UpdateControl(1, 0);
}

void MText::SetMarkText(const wchar_t* title, const wchar_t* mark, Gdiplus::Color colour, int option) {
    if (title == nullptr || (SameText(m_strTitle, title) && SameText(m_strMark, mark) &&
                             m_markColor == colour.GetValue() && m_nMarkOption == option))
        return;
    m_strTitle = title;
    m_strMark = mark;
    m_markColor = colour.GetValue();
    m_nMarkOption = option;
    UpdateControl(1, 0);
}

void MText::SetTitleMarkText(const wchar_t* title, const wchar_t* mark, int option) {
    if (title == nullptr ||
        (SameText(m_strTitle, title) && SameText(m_strMark, mark) && m_nMarkOption == option))
        return;
    m_strTitle = title;
    m_strMark = mark;
    m_nMarkOption = option;
    UpdateControl(1, 0);
}

void MText::EnableScrollBar(int on, int width) noexcept {
    m_bScrollBar = on;
    m_nScrollBarWidth = width;
}

void MText::SetControlRect(CRect rect) {
    m_rect = rect;
    if (!m_bScrollBar)
        return;
    for (MControl* child : m_controls.Items()) {
        if (child->GetControlID() == kVerticalScrollBarId)
            child->SetRect(CRect(rect.right - m_nScrollBarWidth, rect.top, rect.right, rect.bottom));
    }
}

int MText::OnControlScroll(int, UINT, CPoint) {
    return 1;
}

LRESULT MText::OnBaseMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam) {
    return OnMessage(id, code, wParam, lParam);
}

LRESULT MText::OnMessage(UINT id, UINT code, WPARAM, LPARAM) {
    if (id == kVerticalScrollBarId && code == kNotifyScrolled && m_bVisible)
        UpdateControl(1, 0);
    return 0;
}

void MText::DrawControl(HDC& dc, CRect) {
    DrawCached(dc, 1, 0, [this](Gdiplus::Graphics& g, HDC cache, int w, int h) {
        if (m_bTextBack)
            g.Clear(Gdiplus::Color(m_textBackColor));
        ::SetBkMode(cache, TRANSPARENT);
        std::unique_ptr<Gdiplus::Font> font = CreateTextFont();
        if (!font)
            return;
        Gdiplus::SolidBrush brush{Gdiplus::Color(m_textColor)};
        g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
        g.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
        Gdiplus::StringFormat format;
        GetStringFormat(format);
        if (m_bMultiLine) {
            format.SetFormatFlags(Gdiplus::StringFormatFlagsNoClip |
                                  Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
            if (m_bVCenter)
                format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        } else {
            format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap |
                                  Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
        }
        const wchar_t* text = m_strTitle.GetString();
        g.DrawString(text, static_cast<INT>(std::wcslen(text)), font.get(),
                     Gdiplus::RectF(0.0f, 0.0f, static_cast<float>(w), static_cast<float>(h)), &format,
                     &brush);
    });
}

}  // namespace Tessel
