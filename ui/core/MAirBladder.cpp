#include "core/MAirBladder.h"

#include "controls/MRender.h"
#include "core/Manager.h"
#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <algorithm>

namespace Tessel {

namespace {

constexpr int kPadding = 10;     // between the text and the balloon's edge
constexpr int kArrowInset = 12;  // from the balloon's side to the arrow's tip for the side arrows
constexpr int kCorner = 6;       // corner of the background's nine-part frame
constexpr int kMaxTextWidth = 320;

std::unique_ptr<Gdiplus::Image> LoadSkin(const wchar_t* name) {
    if (name == nullptr || *name == L'\0')
        return nullptr;
    return std::unique_ptr<Gdiplus::Image>(MRender::LoadImageFromFile(Manager::GetSkinFolder() + name));
}

int ImageHeight(Gdiplus::Image* image) {
    return image != nullptr ? static_cast<int>(image->GetHeight()) : 0;
}

}  // namespace

MAirBladder::MAirBladder() noexcept = default;

MAirBladder::~MAirBladder() {
    // The balloon's owner keeps it as long as it needs it; its window goes with it.
    if (IsLive())
        DestroyWindow();
}

const wchar_t* MAirBladder::GetWindowClassName() const {
    return L"TesselAirBladder";
}

void MAirBladder::SetImages(const wchar_t* background, const wchar_t* arrowLeft, const wchar_t* arrowRight,
                            const wchar_t* arrowTop) {
    m_background = LoadSkin(background);
    m_arrowLeft = LoadSkin(arrowLeft);
    m_arrowRight = LoadSkin(arrowRight);
    m_arrowTop = LoadSkin(arrowTop);
}

Gdiplus::Image* MAirBladder::Arrow() const noexcept {
    switch (m_type) {
        case AIRBLADDER_TOP:
            return m_arrowTop.get();
        case AIRBLADDER_RIGHT:
            return m_arrowRight.get();
        default:
            return m_arrowLeft.get();
    }
}

void MAirBladder::SetMessage(const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type,
                             AIRBLADDER_MODE mode) {
    m_text = text != nullptr ? CString(text) : CString();
    m_point = screenPt;
    m_type = type;
    m_mode = mode;
    if (!IsLive())
        return;
    Gdiplus::FontFamily family(Manager::GetFontName());
    Gdiplus::Font font(family.IsAvailable() ? &family : Gdiplus::FontFamily::GenericSansSerif(), 12.0f,
                       Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::StringFormat format;
    Gdiplus::Size bounds = MRender::GetTextBounds(font, format, kMaxTextWidth, m_text);
    int width = bounds.Width + 2 * kPadding;
    int height = bounds.Height + 2 * kPadding + ImageHeight(Arrow());
    int left = screenPt.x - kArrowInset;
    if (type == AIRBLADDER_TOP)
        left = screenPt.x - width / 2;
    else if (type == AIRBLADDER_RIGHT)
        left = screenPt.x - width + kArrowInset;
    HWND after = (mode & AIRBLADDER_TOPMOST) != 0 ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(after, left, screenPt.y, width, height, SWP_NOACTIVATE);
    InvalidateRect(CRect(0, 0, width, height), FALSE);
}

LRESULT MAirBladder::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PaintScope paint(m_hWnd);
            Paint(paint.dc());
            return 0;
        }
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_LBUTTONUP:
            if ((m_mode & AIRBLADDER_CLICK_HIDES) != 0)
                ShowWindow(SW_HIDE);
            return 0;
        default:
            return MWindow::OnWindowMessage(msg, wParam, lParam);
    }
}

void MAirBladder::Paint(HDC dc) {
    RECT client = {};
    GetClientRect(&client);
    int width = client.right;
    int height = client.bottom;
    if (width <= 0 || height <= 0)
        return;
    UniqueMemoryDC memory(::CreateCompatibleDC(dc));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(dc, width, height));
    if (!memory || !bitmap)
        return;
    SelectionScope selected(memory.get(), bitmap.get());
    {
        Gdiplus::Graphics g(memory.get());
        g.Clear(Gdiplus::Color(255, 255, 255, 255));
        Gdiplus::Image* arrow = Arrow();
        int arrowHeight = ImageHeight(arrow);
        CRect body(0, arrowHeight, width, height);
        if (m_background) {
            MRender::DrawImageFrame(g, m_background.get(), body, 0, 0,
                                    static_cast<int>(m_background->GetWidth()),
                                    static_cast<int>(m_background->GetHeight()), kCorner);
        } else {
            Gdiplus::SolidBrush fill(Gdiplus::Color(254, 64, 64, 64));
            g.FillRectangle(&fill, static_cast<INT>(body.left), static_cast<INT>(body.top),
                            static_cast<INT>(body.Width()), static_cast<INT>(body.Height()));
        }
        if (arrow != nullptr) {
            int arrowWidth = static_cast<int>(arrow->GetWidth());
            int x = kArrowInset - arrowWidth / 2;
            if (m_type == AIRBLADDER_TOP)
                x = (width - arrowWidth) / 2;
            else if (m_type == AIRBLADDER_RIGHT)
                x = width - kArrowInset - arrowWidth / 2;
            g.DrawImage(arrow, x, 0, arrowWidth, arrowHeight);
        }
        Gdiplus::FontFamily family(Manager::GetFontName());
        Gdiplus::Font font(family.IsAvailable() ? &family : Gdiplus::FontFamily::GenericSansSerif(), 12.0f,
                           Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
        Gdiplus::SolidBrush ink(Gdiplus::Color(255, 255, 255, 255));
        Gdiplus::RectF box(static_cast<float>(kPadding), static_cast<float>(arrowHeight + kPadding),
                           static_cast<float>(std::max(0, width - 2 * kPadding)),
                           static_cast<float>(std::max(0, static_cast<int>(body.Height()) - 2 * kPadding)));
        g.DrawString(m_text.GetString(), m_text.GetLength(), &font, box, nullptr, &ink);
    }
    ::BitBlt(dc, 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace Tessel
