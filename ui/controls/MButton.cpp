#include "controls/MButton.h"

#include "controls/CacheDraw.h"
#include "controls/MRender.h"
#include "core/Manager.h"

#include <cwchar>

namespace Tessel {

namespace {

constexpr Gdiplus::ARGB kDisabledText = 0xFF808080;

void SetCursorById(const wchar_t* id) {
    ::SetCursor(::LoadCursorW(nullptr, id));
}

}  // namespace

MButton::MButton(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible, int enabled)
    : MControlFont(parent, id, rect, title, visible, enabled, 1) {
    m_uAlignment = 1;
}

MButton::~MButton() = default;

int MButton::SetIconImage(const wchar_t* fileName, int count) {
    if (fileName == nullptr || *fileName == L'\0' || count <= 0)
        return 0;
    std::unique_ptr<Gdiplus::Image> icon(MRender::LoadImageFromFile(Manager::GetSkinFolder() + fileName));
    if (!icon)
        return 0;
    m_pIcon = std::move(icon);
    m_nIconWidth = static_cast<int>(m_pIcon->GetWidth()) / count;
    m_nIconHeight = static_cast<int>(m_pIcon->GetHeight());
    m_nIconCount = count;
    return 1;
}

int MButton::ChangeState(int state) {
    if (state == m_nState)
        return 0;
    m_nState = state;
    UpdateControl(0, 0);
    return 1;
}

void MButton::SetControlEnabled(int enabled) {
    if (enabled == m_bEnabled)
        return;
    m_bEnabled = enabled;
    m_nState = enabled ? StateNormal : StateDisabled;
    UpdateControl(0, 0);
}

int MButton::OnControlMouseMove(UINT, CPoint pt) {
    if (!m_bEnabled || m_nState == StatePressed)
        return 0;
    const bool inside = m_rect.PtInRect(pt) != FALSE;
    SetCursorById(inside ? IDC_HAND : IDC_ARROW);
    return ChangeState(inside ? StateHover : StateNormal);
}

int MButton::OnControlLButtonDown(UINT, CPoint pt) {
    if (!m_bEnabled || !m_rect.PtInRect(pt))
        return 0;
    SetCursorById(IDC_HAND);
    const int changed = ChangeState(StatePressed);
    SendMessageW(kNotifyPressed, 0, 0);
    return changed;
}

int MButton::OnControlLButtonUp(UINT, CPoint pt) {
    if (!m_bEnabled)
        return 0;
    if (!m_rect.PtInRect(pt))
        return ChangeState(StateNormal);
    const int before = m_nState;
    const int changed = ChangeState(StateHover);
    if (before == StatePressed)
        SendMessageW(kNotifyClicked, 0, 0);
    return changed;
}

void MButton::DrawControl(HDC& dc, CRect) {
    DrawCached(dc, 4, m_nState, [this](Gdiplus::Graphics& g, HDC cache, int w, int h) {
        if (m_pImage != nullptr && m_nFrameWidth > 0) {
            const int imageWidth = static_cast<int>(m_pImage->GetWidth());
            for (int i = 0; i < 4; ++i) {
                // A strip with fewer frames leaves the missing states empty.
                if (m_nFrameWidth * (i + 1) > imageWidth)
                    break;
                MRender::DrawImageFrame(g, m_pImage, CRect(i * w, 0, (i + 1) * w, h), m_nFrameWidth * i, 0,
                                        m_nFrameWidth, m_nImageHeight, m_nFrameSize);
            }
        }
        const wchar_t* title = m_strTitle.GetString();
        if (*title == L'\0')
            return;
        ::SetBkMode(cache, TRANSPARENT);
        std::unique_ptr<Gdiplus::Font> font = CreateTextFont();
        if (!font)
            return;
        g.SetTextRenderingHint(m_renderingHint);
        Gdiplus::StringFormat format;
        format.SetAlignment(Gdiplus::StringAlignmentCenter);
        format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap |
                              Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
        const INT length = static_cast<INT>(std::wcslen(title));
        for (int i = 0; i < 4; ++i) {
            Gdiplus::SolidBrush brush{Gdiplus::Color(i == StateDisabled ? kDisabledText : m_textColor)};
            const int d = i == StatePressed ? 1 : 0;
            Gdiplus::RectF box;
            if (m_rcText.IsRectEmpty())
                box = Gdiplus::RectF(static_cast<float>(i * w + d), static_cast<float>(d),
                                     static_cast<float>(w), static_cast<float>(h));
            else
                box = Gdiplus::RectF(
                    static_cast<float>(i * w + m_rcText.left + d), static_cast<float>(m_rcText.top + d),
                    static_cast<float>(m_rcText.Width()), static_cast<float>(m_rcText.Height()));
            g.DrawString(title, length, font.get(), box, &format, &brush);
        }
    });
}

}  // namespace Tessel
