#pragma once

// The engine's input side: which control is under the mouse (the hover control) and which has the keyboard
// focus, the mouse capture while a control is pressed, the window drag by areas no control takes, the drag
// of a control's image, the wheel, keys and the Tab order. Everything runs on the window's thread. Focus
// moves are announced to assistive programs and repaint the focus ring (AccessibleControls).

#include "core/Types.h"
#include "win/Handle.h"

#include <windows.h>

namespace Tessel {

class AccessibleControls;
class ControlList;
class MControl;
class PaintWindow;
class Tooltip;

class InputRouter {
  public:
    InputRouter(const PaintWindow& window, ControlList& controls, AccessibleControls& access,
                Tooltip& tooltip) noexcept
        : window_(window), controls_(controls), access_(access), tooltip_(tooltip) {}

    BOOL OnMouseMove(UINT flags, CPoint pt);
    BOOL OnMouseLeave();
    BOOL OnButtonDown(UINT flags, CPoint pt, bool right);
    BOOL OnButtonUp(UINT flags, CPoint pt, bool right);
    BOOL OnButtonDblClk(UINT flags, CPoint pt, bool right);
    BOOL OnMouseWheel(short delta, CPoint screenPt);
    BOOL OnNcActivate(BOOL active);
    // A key no control takes: Space and Enter carry out the default action of the focused tab stop, once
    // for a key held down (lParam as in WM_KEYDOWN).
    BOOL OnKeyDown(UINT vk, LPARAM lParam);
    // Tab and Shift+Tab: the focus moves to the next (previous) focusable control; true when it moved.
    bool OnTab();

    void SetFocus(MControl* control);
    // As SetFocus, and the focus ring shows until the mouse is pressed next.
    void FocusByKeyboard(MControl* control);
    // The focus was last moved by the keyboard (or an assistive program), not by the mouse.
    [[nodiscard]] bool KeyboardCues() const noexcept { return keyboardCues_; }
    MControl* NextFocusable();
    MControl* PrevFocusable();
    // The control is going away: no hover, focus or press refers to it any more.
    void Forget(const MControl* control) noexcept;

    void SetCaptured(BOOL captured) noexcept { captured_ = captured; }
    [[nodiscard]] BOOL Captured() const noexcept { return captured_; }
    [[nodiscard]] MControl* Hover() const noexcept { return hover_; }
    [[nodiscard]] MControl* Focus() const noexcept { return focus_; }
    void EnableWindowDrag(BOOL enable) noexcept { windowDrag_ = enable; }
    [[nodiscard]] BOOL WindowDrag() const noexcept { return windowDrag_; }

  private:
    // Hover control that is visible and takes the mouse, or null.
    [[nodiscard]] MControl* ResponsiveHover() const noexcept;
    void StartDrag();
    // The first focusable control after the focus control in [begin, end), else the first one at all.
    template <typename It>
    MControl* FindFocusable(It begin, It end);
    // After the focus or the cues changed: the announcement and the focus rings' repaint.
    void FocusMoved(MControl* before, bool cuesBefore);

    const PaintWindow& window_;
    ControlList& controls_;
    AccessibleControls& access_;
    Tooltip& tooltip_;           // hidden when the pointer leaves a control
    MControl* hover_ = nullptr;  // not owned: one of the controls
    MControl* focus_ = nullptr;  // not owned
    BOOL active_ = FALSE;
    BOOL tracking_ = FALSE;  // TrackMouseEvent armed; cleared by WM_MOUSELEAVE
    BOOL leftDown_ = FALSE;
    BOOL leftDblClk_ = FALSE;
    BOOL rightDown_ = FALSE;
    BOOL rightDblClk_ = FALSE;
    BOOL captured_ = FALSE;
    BOOL windowDrag_ = TRUE;
    bool keyboardCues_ = false;
    BOOL dragArmed_ = FALSE;
    POINT dragStart_ = {0, 0};
    UniqueBitmap dragBitmap_;
};

}  // namespace Tessel
