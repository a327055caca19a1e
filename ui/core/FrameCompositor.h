#pragma once

// The engine's paint pipeline: background, controls, the focus ring, the banner, the hot square's outline
// and the caret are painted into an off-screen 32-bit frame that is kept from paint to paint, and the frame
// goes to the screen by BitBlt or, for a layered window, by UpdateLayeredWindowIndirect. A layered window
// paints and pushes only the part that changed once the screen holds the kept frame.

#include "core/DrawSurface.h"
#include "core/Types.h"

#include <windows.h>

namespace Tessel {

class AccessibleControls;
class Background;
class Banner;
class Caret;
class ControlList;
class PaintWindow;

class FrameCompositor {
  public:
    FrameCompositor(const PaintWindow& window, Background& background, ControlList& areas,
                    ControlList& controls, AccessibleControls& access, Banner& banner, Caret& caret) noexcept
        : window_(window),
          background_(background),
          areas_(areas),
          controls_(controls),
          access_(access),
          banner_(banner),
          caret_(caret) {}

    // WM_PAINT. FALSE without a live window or an update region; TRUE once painted (or while minimised).
    BOOL Paint();
    // Every control of both lists into `dc` (a 32-bit surface of the client size) where it meets `rect`.
    void DrawControls(HDC& dc, const CRect& rect);
    // A layered window shows per-pixel alpha; the next push after a change is whole.
    void SetLayered(BOOL layered) noexcept { layered_ = layered; }
    [[nodiscard]] BOOL Layered() const noexcept { return layered_; }
    // Pause after each paint, bounding the frame rate of animated controls; 15 ms unless changed.
    void SetPacing(DWORD milliseconds) noexcept { pacingMs_ = milliseconds; }
    // The last painted frame (no bits before the first paint), and one of its pixels (0xAARRGGBB,
    // premultiplied) in client coordinates; 0 outside it.
    [[nodiscard]] const DrawSurface& Frame() const noexcept { return frame_; }
    [[nodiscard]] DWORD Pixel(int x, int y) const noexcept;
    // Frees the frame; the next paint makes a new one.
    void Release() noexcept;

  private:
    // A frame of the client's size, kept from the last paint or new; false when it cannot be had.
    bool EnsureFrame(HWND hwnd, const CRect& client);
    // The frame as painted into the off-screen surface (steps shared by both kinds of window).
    void PaintFrame(const CRect& client, const CRect& drawRect, bool hot);
    void PaintLayered(HWND hwnd, const CRect& client, const CRect& update);
    // `dirty` grown until every visible control whose drawing touches it lies inside it.
    CRect CoverTouchedControls(CRect dirty);
    // UpdateLayeredWindowIndirect of the frame, all of it or only `dirty`; false when it failed.
    bool PresentLayered(HWND hwnd, const CRect* dirty);

    const PaintWindow& window_;
    Background& background_;
    ControlList& areas_;
    ControlList& controls_;
    AccessibleControls& access_;  // the focus ring
    Banner& banner_;
    Caret& caret_;
    BOOL layered_ = FALSE;
    DWORD pacingMs_ = 15;
    // The off-screen frame of the last paint, kept for the next one of the same size.
    DrawSurface frame_;
    // A layered window's screen holds the frame as last pushed (else the next push is whole), and whether the
    // hot square's outline and the banner were in it.
    bool layeredShown_ = false;
    bool hotPainted_ = false;
    bool bannerPainted_ = false;
};

}  // namespace Tessel
