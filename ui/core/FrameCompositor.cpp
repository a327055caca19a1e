#include "core/FrameCompositor.h"

#include "controls/MControl.h"
#include "core/AccessibleControls.h"
#include "core/Background.h"
#include "core/Banner.h"
#include "core/Caret.h"
#include "core/ControlList.h"
#include "core/PaintWindow.h"
#include "core/PixelCanvas.h"
#include "win/ScopeGuards.h"

namespace Tessel {

namespace {

// The square near the top-right corner of the panel that is outlined while the pointer is over it.
constexpr RECT kHotSquare = {285, 8, 305, 28};
constexpr Gdiplus::ARGB kHotSquareColor = 0xFFC8C8C8;
constexpr DWORD kAlphaMask = 0xFF000000u;

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

void FrameCompositor::DrawControls(HDC& dc, const CRect& rect) {
    for (ControlList* list : {&areas_, &controls_}) {
        LockGuard guard(list->Lock());
        for (MControl* control : list->Items())
            control->Draw(dc, rect);
    }
}

DWORD FrameCompositor::Pixel(int x, int y) const noexcept {
    if (frame_.GetBits() == nullptr || x < 0 || y < 0 || x >= frame_.Width() || y >= frame_.Height())
        return 0;
    return frame_.Row(y)[x];
}

void FrameCompositor::Release() noexcept {
    frame_.Release();
    background_.Discard();
}

bool FrameCompositor::EnsureFrame(HWND hwnd, const CRect& client) {
    // The frame of the last paint serves again while the size stays.
    if (frame_.GetDC() != nullptr && frame_.Width() == client.Width() && frame_.Height() == client.Height())
        return true;
    background_.Discard();
    layeredShown_ = false;
    WindowDC windowDC(hwnd);
    return windowDC && frame_.Create(windowDC.get(), client.Width(), client.Height(), DibRows::BottomUp);
}

void FrameCompositor::PaintFrame(const CRect& client, const CRect& drawRect, bool hot) {
    HDC mem = frame_.GetDC();
    const SavedDCScope saved(mem);
    background_.Paint(frame_, drawRect);
    DrawControls(mem, drawRect);
    const AccessibleControls::Ring ring = access_.ShownFocusRing();
    if (hot || banner_.Shown() || ring.image != nullptr) {
        PixelCanvas canvas(reinterpret_cast<BYTE*>(frame_.GetBits()), client.Width(), client.Height(), true);
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
        banner_.Draw(g);
        if (hot) {
            Gdiplus::Pen pen(Gdiplus::Color(kHotSquareColor), 1.0f);
            g.DrawRectangle(&pen, static_cast<INT>(kHotSquare.left), static_cast<INT>(kHotSquare.top),
                            static_cast<INT>(kHotSquare.right - kHotSquare.left - 1),
                            static_cast<INT>(kHotSquare.bottom - kHotSquare.top - 1));
        }
    }
    caret_.Draw(mem, drawRect);
    if (layered_) {
        // Plain GDI drawing leaves alpha at 0: make what it drew visible.
        ::GdiFlush();
        for (int y = drawRect.top; y < drawRect.bottom; ++y) {
            DWORD* row = frame_.Row(y);
            for (int x = drawRect.left; x < drawRect.right; ++x) {
                if ((row[x] & kAlphaMask) == 0 && (row[x] & ~kAlphaMask) != 0)
                    row[x] |= kAlphaMask;
            }
        }
    }
}

CRect FrameCompositor::CoverTouchedControls(CRect dirty) {
    // A control draws itself whole, from its cache over what lies beneath it: the area grows to each control
    // that it touches, so that what lies beneath is painted first and nothing is drawn over stale pixels.
    for (bool grown = true; grown;) {
        grown = false;
        for (ControlList* list : {&areas_, &controls_}) {
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

void FrameCompositor::PaintLayered(HWND hwnd, const CRect& client, const CRect& update) {
    const bool hot = PointerInHotSquare(hwnd);
    const bool banner = banner_.Shown();
    CRect area = client;
    // A background rendered anew covers everything; the banner is drawn over everything and may have moved:
    // with either, the window is painted whole.
    if (layeredShown_ && background_.Rendered() && !banner && !bannerPainted_) {
        CRect dirty = update;
        if (hot || hotPainted_)
            dirty.UnionRect(dirty, kHotSquare);
        area.IntersectRect(CoverTouchedControls(dirty), client);
    }
    if (area.IsRectEmpty())
        return;
    PaintFrame(client, area, hot);
    hotPainted_ = hot;
    bannerPainted_ = banner;
    layeredShown_ = PresentLayered(hwnd, area == client ? nullptr : &area);
}

bool FrameCompositor::PresentLayered(HWND hwnd, const CRect* dirty) {
    const LONG_PTR ex = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    if ((ex & WS_EX_LAYERED) == 0) {
        // A window that just became layered has nothing on screen yet.
        ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
        dirty = nullptr;
    }
    SIZE size = {frame_.Width(), frame_.Height()};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UPDATELAYEREDWINDOWINFO info = {};
    info.cbSize = sizeof(info);
    // No destination DC: the screen's default palette.
    info.psize = &size;
    info.hdcSrc = frame_.GetDC();
    info.pptSrc = &source;
    info.pblend = &blend;
    info.dwFlags = ULW_ALPHA;
    info.prcDirty = dirty;
    return ::UpdateLayeredWindowIndirect(hwnd, &info) != FALSE;
}

BOOL FrameCompositor::Paint() {
    HWND hwnd = window_.Handle();
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
            if (layered_) {
                PaintLayered(hwnd, client, update);
            } else {
                PaintFrame(client, update, PointerInHotSquare(hwnd));
                ::BitBlt(paint.dc(), update.left, update.top, update.Width(), update.Height(), frame_.GetDC(),
                         update.left, update.top, SRCCOPY);
            }
        }
    }
    if (pacingMs_ > 0)
        ::Sleep(pacingMs_);
    return TRUE;
}

}  // namespace Tessel
