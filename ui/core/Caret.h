#pragma once

// The emulated caret of the focused text control: the system caret is created and moved (so that input
// methods find it), but what the user sees is a rectangle in the owner's text colour that the engine paints
// and blinks on its window timer kCaretTimer (ControlTimers.h).

#include "core/Types.h"

#include <windows.h>

namespace Tessel {

class MControl;
class MControlFont;
class PaintWindow;

class Caret {
  public:
    explicit Caret(const PaintWindow& window) noexcept : window_(window) {}

    void Create(HBITMAP bitmap, int width, int height);
    BOOL SetPos(MControlFont* owner, int x, int y);
    void Show(BOOL show);
    // The blink timer fired: the caret flips.
    void Blink();
    // Paints the caret into `dc` where it meets `paintRect`; stops blinking when its owner lost the focus.
    void Draw(HDC dc, const CRect& paintRect);
    // The control is going away: it no longer owns the caret.
    void Forget(const MControl* control) noexcept;

    [[nodiscard]] MControlFont* Owner() const noexcept { return owner_; }
    [[nodiscard]] CRect Rect() const noexcept { return rect_; }

  private:
    void Invalidate();

    const PaintWindow& window_;
    CRect rect_;
    BOOL phase_ = FALSE;  // drawn in this blink phase
    BOOL shown_ = FALSE;
    MControlFont* owner_ = nullptr;  // not owned
};

}  // namespace Tessel
