#include "core/PaintWindow.h"

namespace Tessel {

void PaintWindow::Invalidate() const noexcept {
    if (hwnd_ != nullptr && ::IsWindow(hwnd_))
        ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void PaintWindow::InvalidateRect(const CRect& rect, BOOL erase) const noexcept {
    // A layered window too: its paint grows the rectangle by what the controls in it need.
    if (hwnd_ != nullptr && ::IsWindow(hwnd_))
        ::InvalidateRect(hwnd_, &rect, erase);
}

CRect PaintWindow::ClientRect() const noexcept {
    CRect rect;
    if (hwnd_ != nullptr)
        ::GetClientRect(hwnd_, &rect);
    return rect;
}

CRect PaintWindow::WindowRect() const noexcept {
    CRect rect;
    if (hwnd_ != nullptr)
        ::GetWindowRect(hwnd_, &rect);
    return rect;
}

HWND PaintWindow::SetCapture() const noexcept {
    return hwnd_ != nullptr && ::IsWindow(hwnd_) ? ::SetCapture(hwnd_) : nullptr;
}

BOOL PaintWindow::ReleaseCapture() const noexcept {
    return hwnd_ != nullptr && ::GetCapture() == hwnd_ ? ::ReleaseCapture() : FALSE;
}

}  // namespace Tessel
