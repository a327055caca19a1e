// The engine's background, painting, drop shadow and message banner.

#include "controls/MControl.h"
#include "controls/MRender.h"
#include "core/Manager.h"
#include "core/PaintManager.h"
#include "core/PixelCanvas.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace Tessel {

namespace {

// The square near the top-right corner of the panel that is outlined while the pointer is over it.
constexpr RECT kHotSquare = {285, 8, 305, 28};
constexpr Gdiplus::ARGB kHotSquareColor = 0xFFC8C8C8;

bool RectsIntersect(const RECT& a, const RECT& b) noexcept {
    RECT out;
    return ::IntersectRect(&out, &a, &b) != FALSE;
}

Gdiplus::ARGB BannerColor(MsgLevel level) noexcept {
    switch (level) {
        case MsgWarning:
            return 0xC8A06400;
        case MsgError:
            return 0xC8A02828;
        default:
            return 0xC8323232;
    }
}

}  // namespace

BOOL PaintManager::LoadBKImage(CString name) {
    m_bBkRenderedValid = false;
    m_pBkImage.reset();
    m_nBkWidth = 0;
    m_nBkHeight = 0;
    if (name.IsEmpty())
        return FALSE;
    m_pBkImage.reset(MRender::LoadImageFromFile(Manager::GetSkinFolder() + name));
    if (!m_pBkImage)
        return FALSE;
    m_nBkWidth = static_cast<int>(m_pBkImage->GetWidth());
    m_nBkHeight = static_cast<int>(m_pBkImage->GetHeight());
    return TRUE;
}

BOOL PaintManager::LoadBKImage(UINT resourceId, CString type) {
    m_bBkRenderedValid = false;
    m_pBkImage.reset();
    m_nBkWidth = 0;
    m_nBkHeight = 0;
    m_pBkImage.reset(MRender::LoadImageFromIDResource(resourceId, type, Manager::GetInstance()));
    if (!m_pBkImage)
        return FALSE;
    m_nBkWidth = static_cast<int>(m_pBkImage->GetWidth());
    m_nBkHeight = static_cast<int>(m_pBkImage->GetHeight());
    return TRUE;
}

void PaintManager::SetBackMode(enumBackMode mode, int corner) noexcept {
    m_backMode = mode;
    m_nCornerSize = corner;
    m_bBkRenderedValid = false;
}

void PaintManager::SetBackColor(COLORREF fill, COLORREF border) noexcept {
    m_fillColor = fill;
    m_borderColor = border;
    m_bBkRenderedValid = false;
}

void PaintManager::Invalidate() noexcept {
    if (m_hPaintWnd != nullptr && ::IsWindow(m_hPaintWnd))
        ::InvalidateRect(m_hPaintWnd, nullptr, FALSE);
}

void PaintManager::InvalidateRect(CRect rect, BOOL erase) noexcept {
    if (m_hPaintWnd == nullptr || !::IsWindow(m_hPaintWnd))
        return;
    if (m_bLayered)
        ::InvalidateRect(m_hPaintWnd, nullptr, TRUE);
    else
        ::InvalidateRect(m_hPaintWnd, &rect, erase);
}

void PaintManager::GetClientRect(CRect& rect) const noexcept {
    rect = CRect();
    if (m_hPaintWnd != nullptr)
        ::GetClientRect(m_hPaintWnd, &rect);
}

void PaintManager::GetWindowRect(CRect& rect) const noexcept {
    rect = CRect();
    if (m_hPaintWnd != nullptr)
        ::GetWindowRect(m_hPaintWnd, &rect);
}

void PaintManager::GetClientSize(int& width, int& height) const noexcept {
    CRect client;
    GetClientRect(client);
    width = client.Width();
    height = client.Height();
}

void PaintManager::SetScrollResID(UINT vertical, UINT horizontal) noexcept {
    m_nScrollVID = vertical;
    m_nScrollHID = horizontal;
}

LRESULT PaintManager::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return ::SendMessageW(m_hPaintWnd, msg, wParam, lParam);
}

LRESULT PaintManager::PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return ::PostMessageW(m_hPaintWnd, msg, wParam, lParam);
}

LRESULT PaintManager::OnControlUpdate(CRect rect, BOOL discardCache, MControl* control) {
    if (control == nullptr)
        return 0;
    if (discardCache)
        control->SetUpdate(FALSE, m_fillColor);
    CRect dirty = rect;
    if (m_bInit) {
        bool above = false;
        auto refresh = [&](std::vector<MControl*>& list, RecursiveLock& lock) {
            LockGuard guard(lock);
            for (MControl* other : list) {
                if (other == control) {
                    above = true;
                    continue;
                }
                if (above && other->IsVisible() && RectsIntersect(other->GetRect(), rect)) {
                    other->SetUpdate(FALSE, m_fillColor);
                    dirty.UnionRect(dirty, other->GetRect());
                }
            }
        };
        refresh(m_areas, m_areaLock);
        refresh(m_controls, m_controlLock);
    }
    InvalidateRect(dirty, FALSE);
    return 0;
}

void PaintManager::DrawBackImage(Gdiplus::Graphics& g, CRect rect) {
    if (!m_pBkImage || m_nBkWidth <= 0 || m_nBkHeight <= 0)
        return;
    if (m_backMode == BackModeStretch) {
        DrawImageClamped(g, m_pBkImage.get(), Gdiplus::Rect(rect.left, rect.top, rect.Width(), rect.Height()),
                         0, 0, m_nBkWidth, m_nBkHeight);
    } else if (m_backMode == BackModeFrame) {
        MRender::DrawImageFrame(g, m_pBkImage.get(), rect, 0, 0, m_nBkWidth, m_nBkHeight, m_nCornerSize);
    }
}

void PaintManager::DrawControl(HDC& dc, CRect rect) {
    {
        LockGuard guard(m_areaLock);
        for (MControl* area : m_areas)
            area->Draw(dc, rect);
    }
    LockGuard guard(m_controlLock);
    for (MControl* control : m_controls)
        control->Draw(dc, rect);
}

bool PaintManager::BannerShown() const noexcept {
    return m_nBannerAlpha > 0 && !m_rcBanner.IsRectEmpty() && (!m_strBanner.IsEmpty() || m_nBannerTarget > 0);
}

void PaintManager::DrawBanner(Gdiplus::Graphics& g) {
    if (!BannerShown())
        return;
    const int alpha = std::min(m_nBannerAlpha, 255);
    const Gdiplus::ARGB base = BannerColor(m_bannerLevel);
    const auto scaled = static_cast<Gdiplus::ARGB>(((base >> 24) * alpha) / 255);
    Gdiplus::SolidBrush back(Gdiplus::Color((scaled << 24) | (base & 0xFFFFFF)));
    const Gdiplus::Rect box(m_rcBanner.left, m_rcBanner.top, m_rcBanner.Width(), m_rcBanner.Height());
    g.FillRectangle(&back, box);
    if (m_nBannerTarget > 0) {
        // Progress: a thin bar along the bottom edge.
        const int progress = std::clamp(m_nBannerProgress, 0, 100);
        Gdiplus::SolidBrush bar(Gdiplus::Color(static_cast<BYTE>(alpha), 0x3C, 0xB4, 0x50));
        g.FillRectangle(&bar, box.X, box.GetBottom() - 3, box.Width * progress / 100, 3);
    }
    Gdiplus::FontFamily* family = FindTempFont(Manager::GetFontName());
    if (family == nullptr || m_strBanner.IsEmpty())
        return;
    Gdiplus::Font font(family, 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    Gdiplus::SolidBrush text(Gdiplus::Color(static_cast<BYTE>(alpha), 0xFF, 0xFF, 0xFF));
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    g.DrawString(m_strBanner, -1, &font,
                 Gdiplus::RectF(static_cast<float>(box.X), static_cast<float>(box.Y),
                                static_cast<float>(box.Width), static_cast<float>(box.Height)),
                 &format, &text);
}

bool PaintManager::EnsurePaintSurface(HDC reference, int width, int height) noexcept {
    if (m_paintMemDC && width == m_nPaintWidth && height == m_nPaintHeight)
        return true;
    ReleasePaintSurface();
    BYTE* bits = nullptr;
    UniqueBitmap bitmap(MRender::CreateARGB32Bitmap(reference, width, height, &bits));
    UniqueMemoryDC dc(::CreateCompatibleDC(reference));
    if (!bitmap || !dc || bits == nullptr)
        return false;
    m_paintDisplaced = ::SelectObject(dc.get(), bitmap.get());
    m_paintBitmap = std::move(bitmap);
    m_paintMemDC = std::move(dc);
    m_pPaintBits = bits;
    m_nPaintWidth = width;
    m_nPaintHeight = height;
    return true;
}

void PaintManager::ReleasePaintSurface() noexcept {
    if (m_paintMemDC && m_paintDisplaced != nullptr && m_paintDisplaced != HGDI_ERROR)
        ::SelectObject(m_paintMemDC.get(), m_paintDisplaced);
    m_paintDisplaced = nullptr;
    m_paintMemDC.reset();
    m_paintBitmap.reset();
    m_pPaintBits = nullptr;
    m_nPaintWidth = 0;
    m_nPaintHeight = 0;
    m_bBkRenderedValid = false;
}

void PaintManager::PaintBackground(const CRect& client, const CRect& update) {
    const int width = client.Width();
    const int height = client.Height();
    auto* pixels = reinterpret_cast<DWORD*>(m_pPaintBits);
    if (!m_bBkRenderedValid) {
        // Nothing painted stays fully transparent.
        std::memset(pixels, 0, static_cast<size_t>(width) * height * sizeof(DWORD));
        {
            PixelCanvas canvas(m_pPaintBits, width, height, true);
            Gdiplus::Graphics g(canvas.Get());
            if (m_pBkImage) {
                DrawBackImage(g, client);
            } else {
                g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
                Gdiplus::SolidBrush border{Gdiplus::Color(Opaque254(m_borderColor))};
                Gdiplus::SolidBrush fill{Gdiplus::Color(Opaque254(m_fillColor))};
                g.FillRectangle(&border, 0, 0, width, height);
                g.FillRectangle(&fill, 1, 1, width - 2, height - 2);
            }
        }
        m_bkRendered.assign(pixels, pixels + static_cast<size_t>(width) * height);
        m_bBkRenderedValid = true;
        return;
    }
    for (int y = update.top; y < update.bottom; ++y) {
        const size_t row = static_cast<size_t>(height - 1 - y) * width;
        std::memcpy(pixels + row + update.left, m_bkRendered.data() + row + update.left,
                    static_cast<size_t>(update.Width()) * sizeof(DWORD));
    }
}

const BYTE* PaintManager::GetPaintBits(int& width, int& height) const noexcept {
    width = m_nPaintWidth;
    height = m_nPaintHeight;
    return m_pPaintBits;
}

DWORD PaintManager::GetPaintPixel(int x, int y) const noexcept {
    if (m_pPaintBits == nullptr || x < 0 || y < 0 || x >= m_nPaintWidth || y >= m_nPaintHeight)
        return 0;
    const auto* row = reinterpret_cast<const DWORD*>(m_pPaintBits) +
                      static_cast<size_t>(m_nPaintHeight - 1 - y) * static_cast<size_t>(m_nPaintWidth);
    return row[x];
}

BOOL PaintManager::OnPaint() {
    HWND hwnd = m_hPaintWnd;
    if (hwnd == nullptr || !::IsWindow(hwnd))
        return FALSE;
    if (::IsIconic(hwnd))
        return TRUE;
    RECT updateRect;
    if (!::GetUpdateRect(hwnd, &updateRect, FALSE))
        return FALSE;
    CRect client;
    ::GetClientRect(hwnd, &client);
    const int width = client.Width();
    const int height = client.Height();
    PAINTSTRUCT ps;
    HDC paintDC = ::BeginPaint(hwnd, &ps);
    {
        WindowDC windowDC(hwnd);
        if (width > 0 && height > 0 && windowDC && EnsurePaintSurface(windowDC.get(), width, height)) {
            HDC mem = m_paintMemDC.get();
            CRect update;
            update.IntersectRect(updateRect, client);
            // A layered window is always repainted as a whole.
            const CRect drawRect = m_bLayered ? client : update;
            const int saved = ::SaveDC(mem);
            PaintBackground(client, drawRect);
            DrawControl(mem, drawRect);
            POINT cursor;
            const bool hot =
                ::GetCursorPos(&cursor) && ::ScreenToClient(hwnd, &cursor) && ::PtInRect(&kHotSquare, cursor);
            if (hot || BannerShown()) {
                PixelCanvas canvas(m_pPaintBits, width, height, true);
                Gdiplus::Graphics g(canvas.Get());
                DrawBanner(g);
                if (hot) {
                    Gdiplus::Pen pen(Gdiplus::Color(kHotSquareColor), 1.0f);
                    g.DrawRectangle(&pen, static_cast<INT>(kHotSquare.left), static_cast<INT>(kHotSquare.top),
                                    static_cast<INT>(kHotSquare.right - kHotSquare.left - 1),
                                    static_cast<INT>(kHotSquare.bottom - kHotSquare.top - 1));
                }
            }
            DrawCaret(mem, drawRect);
            if (m_bLayered) {
                // Plain GDI drawing leaves alpha at 0: make what it drew visible.
                ::GdiFlush();
                for (int y = drawRect.top; y < drawRect.bottom; ++y) {
                    auto* row =
                        reinterpret_cast<DWORD*>(m_pPaintBits) + static_cast<size_t>(height - 1 - y) * width;
                    for (int x = drawRect.left; x < drawRect.right; ++x) {
                        if ((row[x] & 0xFF000000u) == 0 && (row[x] & 0x00FFFFFFu) != 0)
                            row[x] |= 0xFF000000u;
                    }
                }
            }
            ::RestoreDC(mem, saved);
            if (m_bLayered) {
                const LONG_PTR ex = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
                if ((ex & WS_EX_LAYERED) == 0)
                    ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
                WindowDC screen(nullptr);
                SIZE size = {width, height};
                POINT source = {0, 0};
                BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
                ::UpdateLayeredWindow(hwnd, screen.get(), nullptr, &size, mem, &source, 0, &blend, ULW_ALPHA);
            } else {
                ::BitBlt(paintDC, update.left, update.top, update.Width(), update.Height(), mem, update.left,
                         update.top, SRCCOPY);
            }
        }
    }
    ::EndPaint(hwnd, &ps);
    if (m_nPaintPacing > 0)
        ::Sleep(m_nPaintPacing);
    return TRUE;
}

void PaintManager::CreateShadow(BOOL show, bool) {
    m_shadow.Create(m_hPaintWnd);
    SetShadowShow(show);
}

BOOL PaintManager::SetSize(int size) {
    return m_shadow.SetSize(size);
}

BOOL PaintManager::SetSharpness(UINT sharpness) {
    return m_shadow.SetSharpness(sharpness);
}

BOOL PaintManager::SetDarkness(UINT darkness) {
    return m_shadow.SetDarkness(darkness);
}

BOOL PaintManager::SetPosition(int x, int y) {
    return m_shadow.SetPosition(x, y);
}

BOOL PaintManager::SetShadowColor(COLORREF colour) {
    return m_shadow.SetColor(colour);
}

BOOL PaintManager::SetShadowImage(const wchar_t* fileName, CRect insets) {
    if (fileName == nullptr || *fileName == L'\0')
        return FALSE;
    m_shadow.SetImage(fileName, insets);
    return TRUE;
}

BOOL PaintManager::SetShadowImage(UINT resourceId, CRect insets) {
    m_shadow.SetImage(resourceId, insets);
    return TRUE;
}

void PaintManager::SetShadowShow(BOOL show) {
    m_bShadowShow = show ? TRUE : FALSE;
    m_shadow.Show(m_bShadowShow);
}

void PaintManager::DisableShadow(BOOL disable) {
    m_shadow.Disable(disable);
}

void PaintManager::SetMessage(CString text, CRect rect, MsgLevel level) {
    if (m_hPaintWnd != nullptr) {
        ::KillTimer(m_hPaintWnd, kBannerHoldTimer);
        ::KillTimer(m_hPaintWnd, kBannerFadeTimer);
    }
    m_nBannerAlpha = 255;
    m_strBanner = text;
    m_bannerLevel = level;
    m_rcBanner = rect;
    m_nBannerProgress = 0;
    m_nBannerTarget = 0;
    InvalidateRect(rect, FALSE);
    if (m_hPaintWnd != nullptr && ::IsWindow(m_hPaintWnd))
        ::SetTimer(m_hPaintWnd, kBannerHoldTimer, 3000, nullptr);
}

void PaintManager::SetProgress(int percent, CString text, CRect rect) {
    if (percent == m_nBannerTarget)
        return;
    const bool window = m_hPaintWnd != nullptr && ::IsWindow(m_hPaintWnd);
    if (percent < 5 && window)
        ::KillTimer(m_hPaintWnd, kBannerFadeTimer);
    m_nBannerAlpha = 255;
    m_strBanner = text;
    m_nBannerTarget = percent;
    if (rect.IsRectEmpty()) {
        CRect client;
        GetClientRect(client);
        rect = CRect(client.left, client.bottom - 60, client.right, client.bottom - 2);
    }
    m_rcBanner = rect;
    if (static_cast<long long>(percent) - m_nBannerProgress < 6) {
        m_nBannerProgress = percent;
        InvalidateRect(rect, FALSE);
        if (percent >= 100 && window)
            ::SetTimer(m_hPaintWnd, kBannerFadeTimer, 50, nullptr);
    } else if (window) {
        ::SetTimer(m_hPaintWnd, kBannerProgressTimer, 10, nullptr);
    }
}

}  // namespace Tessel
