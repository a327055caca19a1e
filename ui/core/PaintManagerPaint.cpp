// The engine's painting side: the background, repaint requests of controls, the window geometry the controls
// read, and the front of the paint pipeline (FrameCompositor).

#include "controls/MControl.h"
#include "controls/MRender.h"
#include "core/Manager.h"
#include "core/PaintManager.h"
#include "win/ScopeGuards.h"

namespace Tessel {

namespace {

bool RectsIntersect(const RECT& a, const RECT& b) noexcept {
    RECT out;
    return ::IntersectRect(&out, &a, &b) != FALSE;
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
    m_window.Invalidate();
}

void PaintManager::InvalidateRect(CRect rect, BOOL erase) noexcept {
    m_window.InvalidateRect(rect, erase);
}

void PaintManager::GetClientRect(CRect& rect) const noexcept {
    rect = m_window.ClientRect();
}

void PaintManager::GetWindowRect(CRect& rect) const noexcept {
    rect = m_window.WindowRect();
}

void PaintManager::GetClientSize(int& width, int& height) const noexcept {
    const CRect client = m_window.ClientRect();
    width = client.Width();
    height = client.Height();
}

void PaintManager::SetScrollResID(UINT vertical, UINT horizontal) noexcept {
    m_nScrollVID = vertical;
    m_nScrollHID = horizontal;
}

LRESULT PaintManager::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return ::SendMessageW(m_window.Handle(), msg, wParam, lParam);
}

LRESULT PaintManager::PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return ::PostMessageW(m_window.Handle(), msg, wParam, lParam);
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
    m_compositor.DrawControls(dc, rect);
}

const BYTE* PaintManager::GetPaintBits(int& width, int& height) const noexcept {
    const DrawSurface& frame = m_compositor.Frame();
    width = frame.Width();
    height = frame.Height();
    return reinterpret_cast<const BYTE*>(frame.GetBits());
}

DWORD PaintManager::GetPaintPixel(int x, int y) const noexcept {
    return m_compositor.Pixel(x, y);
}

BOOL PaintManager::OnPaint() {
    return m_compositor.Paint();
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
