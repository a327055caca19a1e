// The engine's painting: background, controls, banner and caret into the off-screen frame, then to the
// screen; repaint requests of controls; the window geometry the controls read.

#include "controls/MControl.h"
#include "controls/MRender.h"
#include "core/Manager.h"
#include "core/PaintManager.h"
#include "core/PixelCanvas.h"
#include "core/ScopeGuards.h"

namespace Tessel {

namespace {

// The square near the top-right corner of the panel that is outlined while the pointer is over it.
constexpr RECT kHotSquare = {285, 8, 305, 28};
constexpr Gdiplus::ARGB kHotSquareColor = 0xFFC8C8C8;
constexpr DWORD kAlphaMask = 0xFF000000u;

bool RectsIntersect(const RECT& a, const RECT& b) noexcept {
    RECT out;
    return ::IntersectRect(&out, &a, &b) != FALSE;
}

// Where a control's drawing may land: its own rectangle and those of its visible children.
CRect DrawExtent(MControl& control) {
    CRect extent = control.GetRect();
    for (std::vector<MControl*>* children : {control.GetAreaControls(), control.GetControls()}) {
        for (MControl* child : *children) {
            if (child->IsVisible())
                extent.UnionRect(extent, DrawExtent(*child));
        }
    }
    return extent;
}

bool PointerInHotSquare(HWND hwnd) noexcept {
    POINT cursor;
    return ::GetCursorPos(&cursor) && ::ScreenToClient(hwnd, &cursor) && ::PtInRect(&kHotSquare, cursor);
}

}  // namespace

BOOL PaintManager::LoadBKImage(CString name) {
    m_background.SetImage(nullptr);
    if (name.IsEmpty())
        return FALSE;
    return m_background.SetImage([path = Manager::GetSkinFolder() + name] {
        return std::unique_ptr<Gdiplus::Image>(MRender::LoadImageFromFile(path));
    });
}

BOOL PaintManager::LoadBKImage(UINT resourceId, CString type) {
    m_background.SetImage(nullptr);
    return m_background.SetImage([resourceId, type, module = Manager::GetInstance()] {
        return std::unique_ptr<Gdiplus::Image>(MRender::LoadImageFromIDResource(resourceId, type, module));
    });
}

void PaintManager::SetBackMode(enumBackMode mode, int corner) noexcept {
    m_background.SetMode(mode, corner);
}

void PaintManager::SetBackColor(COLORREF fill, COLORREF border) noexcept {
    m_background.SetColors(fill, border);
}

void PaintManager::Invalidate() noexcept {
    if (m_hPaintWnd != nullptr && ::IsWindow(m_hPaintWnd))
        ::InvalidateRect(m_hPaintWnd, nullptr, FALSE);
}

void PaintManager::InvalidateRect(CRect rect, BOOL erase) noexcept {
    // A layered window too: its paint grows the rectangle by what the controls in it need.
    if (m_hPaintWnd != nullptr && ::IsWindow(m_hPaintWnd))
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
    const COLORREF fill = m_background.FillColor();
    if (discardCache)
        control->SetUpdate(FALSE, fill);
    CRect dirty = rect;
    if (m_bInit) {
        // The controls above the changed one (later in the area list, then in the control list) that overlap
        // it draw from stale caches: they are refreshed too.
        bool above = false;
        for (ControlList* list : {&m_areas, &m_controls}) {
            LockGuard guard(list->Lock());
            for (MControl* other : list->Items()) {
                if (other == control) {
                    above = true;
                    continue;
                }
                if (above && other->IsVisible() && RectsIntersect(other->GetRect(), rect)) {
                    other->SetUpdate(FALSE, fill);
                    dirty.UnionRect(dirty, other->GetRect());
                }
            }
        }
    }
    InvalidateRect(dirty, FALSE);
    m_access.OnControlChanged(control);
    return 0;
}

void PaintManager::DrawBackImage(Gdiplus::Graphics& g, CRect rect) {
    m_background.DrawImage(g, rect);
}

void PaintManager::DrawControl(HDC& dc, CRect rect) {
    for (ControlList* list : {&m_areas, &m_controls}) {
        LockGuard guard(list->Lock());
        for (MControl* control : list->Items())
            control->Draw(dc, rect);
    }
}

const BYTE* PaintManager::GetPaintBits(int& width, int& height) const noexcept {
    width = m_frame.Width();
    height = m_frame.Height();
    return reinterpret_cast<const BYTE*>(m_frame.GetBits());
}

DWORD PaintManager::GetPaintPixel(int x, int y) const noexcept {
    if (m_frame.GetBits() == nullptr || x < 0 || y < 0 || x >= m_frame.Width() || y >= m_frame.Height())
        return 0;
    return m_frame.Row(y)[x];
}

bool PaintManager::EnsureFrame(HWND hwnd, const CRect& client) {
    // The frame of the last paint serves again while the size stays.
    if (m_frame.GetDC() != nullptr && m_frame.Width() == client.Width() &&
        m_frame.Height() == client.Height())
        return true;
    m_background.Discard();
    m_layeredShown = false;
    WindowDC windowDC(hwnd);
    return windowDC && m_frame.Create(windowDC.get(), client.Width(), client.Height(), DibRows::BottomUp);
}

void PaintManager::PaintFrame(const CRect& client, const CRect& drawRect, bool hot) {
    HDC mem = m_frame.GetDC();
    const int saved = ::SaveDC(mem);
    m_background.Paint(m_frame, drawRect);
    DrawControl(mem, drawRect);
    const AccessibleControls::Ring ring = m_access.ShownFocusRing();
    if (hot || m_banner.Shown() || ring.image != nullptr) {
        PixelCanvas canvas(reinterpret_cast<BYTE*>(m_frame.GetBits()), client.Width(), client.Height(), true);
        Gdiplus::Graphics g(canvas.Get());
        if (ring.image != nullptr) {
            // Outside the painted part the frame holds the ring already: drawing it there again would darken
            // its soft edge.
            g.SetClip(Gdiplus::Rect(drawRect.left, drawRect.top, drawRect.Width(), drawRect.Height()));
            g.DrawImage(ring.image,
                        Gdiplus::Rect(ring.rect.left, ring.rect.top, ring.rect.Width(), ring.rect.Height()),
                        0, 0, ring.rect.Width(), ring.rect.Height(), Gdiplus::UnitPixel);
            g.ResetClip();
        }
        m_banner.Draw(g);
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
            DWORD* row = m_frame.Row(y);
            for (int x = drawRect.left; x < drawRect.right; ++x) {
                if ((row[x] & kAlphaMask) == 0 && (row[x] & ~kAlphaMask) != 0)
                    row[x] |= kAlphaMask;
            }
        }
    }
    ::RestoreDC(mem, saved);
}

CRect PaintManager::CoverTouchedControls(CRect dirty) {
    // A control draws itself whole, from its cache over what lies beneath it: the area grows to each control
    // that it touches, so that what lies beneath is painted first and nothing is drawn over stale pixels.
    for (bool grown = true; grown;) {
        grown = false;
        for (ControlList* list : {&m_areas, &m_controls}) {
            LockGuard guard(list->Lock());
            for (MControl* control : list->Items()) {
                if (!control->IsVisible())
                    continue;
                const CRect extent = DrawExtent(*control);
                CRect common;
                if (common.IntersectRect(extent, dirty) && !(common == extent)) {
                    dirty.UnionRect(dirty, extent);
                    grown = true;
                }
            }
        }
    }
    return dirty;
}

void PaintManager::PaintLayered(HWND hwnd, const CRect& client, const CRect& update) {
    const bool hot = PointerInHotSquare(hwnd);
    const bool banner = m_banner.Shown();
    CRect area = client;
    // A background rendered anew covers everything; the banner is drawn over everything and may have moved:
    // with either, the window is painted whole.
    if (m_layeredShown && m_background.Rendered() && !banner && !m_bannerPainted) {
        CRect dirty = update;
        if (hot || m_hotPainted)
            dirty.UnionRect(dirty, kHotSquare);
        area.IntersectRect(CoverTouchedControls(dirty), client);
    }
    if (area.IsRectEmpty())
        return;
    PaintFrame(client, area, hot);
    m_hotPainted = hot;
    m_bannerPainted = banner;
    m_layeredShown = PresentLayered(hwnd, area == client ? nullptr : &area);
}

bool PaintManager::PresentLayered(HWND hwnd, const CRect* dirty) {
    const LONG_PTR ex = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    if ((ex & WS_EX_LAYERED) == 0) {
        // A window that just became layered has nothing on screen yet.
        ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
        dirty = nullptr;
    }
    SIZE size = {m_frame.Width(), m_frame.Height()};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UPDATELAYEREDWINDOWINFO info = {};
    info.cbSize = sizeof(info);
    // No destination DC: the screen's default palette.
    info.psize = &size;
    info.hdcSrc = m_frame.GetDC();
    info.pptSrc = &source;
    info.pblend = &blend;
    info.dwFlags = ULW_ALPHA;
    info.prcDirty = dirty;
    return ::UpdateLayeredWindowIndirect(hwnd, &info) != FALSE;
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
    {
        PaintScope paint(hwnd);
        if (client.Width() > 0 && client.Height() > 0 && EnsureFrame(hwnd, client)) {
            CRect update;
            update.IntersectRect(updateRect, client);
            if (m_bLayered) {
                PaintLayered(hwnd, client, update);
            } else {
                PaintFrame(client, update, PointerInHotSquare(hwnd));
                ::BitBlt(paint.dc(), update.left, update.top, update.Width(), update.Height(),
                         m_frame.GetDC(), update.left, update.top, SRCCOPY);
            }
        }
    }
    if (m_nPaintPacing > 0)
        ::Sleep(m_nPaintPacing);
    return TRUE;
}

HBITMAP PaintManager::GenerateBitmap(MControl* control, const CRect& rect, COLORREF background) {
    if (control == nullptr || rect.Width() <= 0 || rect.Height() <= 0)
        return nullptr;
    DrawSurface surface;
    if (!surface.Create(nullptr, rect.Width(), rect.Height()))
        return nullptr;
    HDC dc = surface.GetDC();
    UniqueBrush fill(::CreateSolidBrush(background));
    RECT whole = {0, 0, rect.Width(), rect.Height()};
    ::FillRect(dc, &whole, fill.get());
    // The control draws in client coordinates: shift them so that the rectangle lands at the origin.
    ::SetViewportOrgEx(dc, -rect.left, -rect.top, nullptr);
    control->Draw(dc, rect);
    ::SetViewportOrgEx(dc, 0, 0, nullptr);
    return surface.DetachBitmap();
}

HBITMAP PaintManager::GetDropBitmap(MControl* control, const CRect& rect, COLORREF background) {
    return GenerateBitmap(control, rect, background);
}

}  // namespace Tessel
