#pragma once

// The engine's native window as the engine's parts see it: its handle, repaint requests, its client
// rectangle and the mouse capture. The parts (banner, caret, input, frame) hold this instead of the engine,
// so that none of them can reach into another part through it.

#include "core/Types.h"

#include <windows.h>

namespace Tessel {

class PaintWindow {
  public:
    // A null handle means no window yet: every call then does nothing (or answers empty).
    void Attach(HWND hwnd) noexcept { hwnd_ = hwnd; }
    [[nodiscard]] HWND Handle() const noexcept { return hwnd_; }

    // The whole client area, or `rect`, painted again at the next WM_PAINT (a dead window is left alone).
    void Invalidate() const noexcept;
    void InvalidateRect(const CRect& rect, BOOL erase) const noexcept;
    // Client (window) rectangle; empty without a window.
    [[nodiscard]] CRect ClientRect() const noexcept;
    [[nodiscard]] CRect WindowRect() const noexcept;
    // The mouse goes to the window until ReleaseCapture; a release while another window holds it does
    // nothing.
    HWND SetCapture() const noexcept;
    BOOL ReleaseCapture() const noexcept;

  private:
    HWND hwnd_ = nullptr;
};

}  // namespace Tessel
