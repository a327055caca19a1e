#include "core/InputRouter.h"

#include "controls/MControl.h"
#include "core/AccessibleControls.h"
#include "core/ControlList.h"
#include "core/DragSource.h"
#include "core/PaintWindow.h"
#include "core/Tooltip.h"

#include <cstdlib>
#include <utility>

namespace Tessel {

namespace {

constexpr DWORD kHoverTimeMs = 400;
// A press that wanders up to this far from where it went down is still a click; beyond it, in either
// direction, the control's image is dragged. Measured from the press rather than from the previous move, so
// that a slow drag starts too, and with this slack, so that the tremble of a hand pressing a draggable
// control does not turn every click into a drag.
constexpr int kDragThreshold = 2;
// Where a control is told the pointer went when it must drop its highlight.
const CPoint kNowhere(-1, -1);
// The modifier codes passed with a key: the virtual keys of Alt, Shift and Ctrl.
constexpr UINT kAltHeld = VK_MENU;
constexpr UINT kShiftHeld = VK_SHIFT;
constexpr UINT kCtrlHeld = VK_CONTROL;
// WM_KEYDOWN's lParam: the key was already down (auto-repeat).
constexpr LPARAM kKeyWasDown = 1 << 30;

bool KeyHeld(int vk) noexcept {
    return (::GetKeyState(vk) & 0x8000) != 0;
}

}  // namespace

MControl* InputRouter::ResponsiveHover() const noexcept {
    return hover_ != nullptr && hover_->IsVisible() && hover_->GetRresponse() ? hover_ : nullptr;
}

BOOL InputRouter::OnMouseMove(UINT flags, CPoint pt) {
    HWND hwnd = window_.Handle();
    if (!tracking_ && hwnd != nullptr) {
        TRACKMOUSEEVENT tme = {sizeof(tme), TME_HOVER | TME_LEAVE, hwnd, kHoverTimeMs};
        tracking_ = ::TrackMouseEvent(&tme);
    }
    if (dragArmed_ && (flags & MK_LBUTTON) != 0) {
        const bool moved =
            std::abs(pt.x - dragStart_.x) > kDragThreshold || std::abs(pt.y - dragStart_.y) > kDragThreshold;
        if (moved) {
            StartDrag();
            return TRUE;
        }
    }
    if (hover_ != nullptr && hover_->PtInRect(pt) && hover_->OnCheckMouseResponse(flags, pt) && tracking_) {
        hover_->OnMouseMove(flags, pt);
        return TRUE;
    }
    tooltip_.Clear(window_.Handle());
    if (leftDown_)
        return TRUE;
    if (!tracking_) {
        hover_ = nullptr;
        return TRUE;
    }
    MControl* hover = nullptr;
    LockGuard guard(controls_.Lock());
    std::vector<MControl*>& controls = controls_.Items();
    // By index: a control may add or remove controls from inside its handler.
    for (size_t i = 0; i < controls.size(); ++i) {
        MControl* control = controls[i];
        control->OnMouseMove(flags, pt);
        if (i < controls.size() && controls[i] == control && control->PtInRect(pt) && control->GetRresponse())
            hover = control;
    }
    hover_ = hover;
    return TRUE;
}

BOOL InputRouter::OnMouseLeave() {
    tooltip_.Clear(window_.Handle());
    tracking_ = FALSE;
    if (leftDown_)
        return TRUE;
    if (hover_ != nullptr)
        hover_->OnMouseMove(0, kNowhere);
    hover_ = nullptr;
    leftDown_ = FALSE;
    return TRUE;
}

BOOL InputRouter::OnButtonDown(UINT flags, CPoint pt, bool right) {
    (right ? rightDblClk_ : leftDblClk_) = FALSE;
    MControl* const focusBefore = focus_;
    const bool cuesBefore = std::exchange(keyboardCues_, false);
    if (focus_ != nullptr && focus_ != hover_) {
        MControl* old = focus_;
        focus_ = nullptr;
        old->SetControlFocus(FALSE);
    }
    MControl* hover = ResponsiveHover();
    const bool takes = hover != nullptr && hover->PtInRect(pt) && hover->OnCheckMouseResponse(flags, pt);
    if (takes)
        focus_ = hover;
    FocusMoved(focusBefore, cuesBefore);
    if (takes) {
        if (!right && hover->IsDragDrop() && hover->IsEnabled()) {
            dragArmed_ = TRUE;
            dragStart_ = pt;
            dragBitmap_.reset(hover->GetDropBitmap());
        }
        (right ? rightDown_ : leftDown_) = TRUE;
        const int handled = right ? hover->OnRButtonDown(flags, pt) : hover->OnLButtonDown(flags, pt);
        if (!captured_) {
            window_.SetCapture();
            captured_ = TRUE;
            return TRUE;
        }
        if (handled)
            return TRUE;
    }
    if (right || !windowDrag_)
        return TRUE;
    window_.ReleaseCapture();
    // The system's move loop takes the press point in screen coordinates.
    HWND hwnd = window_.Handle();
    POINT screen = pt;
    ::ClientToScreen(hwnd, &screen);
    ::SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
    return TRUE;
}

BOOL InputRouter::OnButtonUp(UINT flags, CPoint pt, bool right) {
    if (captured_) {
        window_.ReleaseCapture();
        captured_ = FALSE;
    }
    (right ? rightDown_ : leftDown_) = FALSE;
    if (!right)
        dragArmed_ = FALSE;
    if (MControl* hover = ResponsiveHover()) {
        const CRect before = hover->GetRect();
        if (right)
            hover->OnRButtonUp(flags, pt);
        else
            hover->OnLButtonUp(flags, pt);
        if (!before.PtInRect(pt))
            hover_ = nullptr;
    } else {
        hover_ = nullptr;
    }
    (right ? rightDblClk_ : leftDblClk_) = FALSE;
    return TRUE;
}

BOOL InputRouter::OnButtonDblClk(UINT flags, CPoint pt, bool right) {
    (right ? rightDblClk_ : leftDblClk_) = TRUE;
    if (MControl* hover = ResponsiveHover()) {
        if (right)
            hover->OnRButtonDblClk(flags, pt);
        else
            hover->OnLButtonDblClk(flags, pt);
        if (hover_ == hover && !hover->GetRect().PtInRect(pt))
            hover_ = nullptr;
    } else {
        hover_ = nullptr;
    }
    return TRUE;
}

BOOL InputRouter::OnMouseWheel(short delta, CPoint screenPt) {
    CPoint pt = screenPt;
    ::ScreenToClient(window_.Handle(), &pt);
    const int steps = delta / WHEEL_DELTA;
    // The direction travels with every step, to the hover control and to the others alike: a control that
    // takes the wheel when the hover control does not needs to know which way to scroll, which the message's
    // key state does not tell.
    const UINT down = steps <= 0 ? 1 : 0;
    BOOL taken = FALSE;
    for (int i = 0; i < std::abs(steps); ++i) {
        if (hover_ != nullptr && hover_->OnScroll(1, down, pt)) {
            taken = TRUE;
            continue;
        }
        LockGuard guard(controls_.Lock());
        std::vector<MControl*>& controls = controls_.Items();
        for (size_t c = 0; c < controls.size(); ++c) {
            if (controls[c]->OnScroll(1, down, pt)) {
                taken = TRUE;
                break;
            }
        }
    }
    return taken;
}

BOOL InputRouter::OnNcActivate(BOOL active) {
    active_ = active;
    if (!active) {
        tracking_ = FALSE;
        captured_ = FALSE;
        leftDblClk_ = FALSE;
        MControl* hover = hover_;
        hover_ = nullptr;
        if (leftDown_) {
            leftDown_ = FALSE;
            if (hover != nullptr)
                hover->OnLButtonUp(0, kNowhere);
        } else if (hover != nullptr) {
            hover->OnMouseMove(0, kNowhere);
        }
    }
    window_.InvalidateRect(window_.ClientRect(), FALSE);
    return TRUE;
}

BOOL InputRouter::OnKeyDown(UINT vk, LPARAM lParam) {
    UINT code = KeyHeld(VK_MENU) ? kAltHeld : (KeyHeld(VK_SHIFT) ? kShiftHeld : 0);
    if (KeyHeld(VK_CONTROL))
        code |= kCtrlHeld;
    if (hover_ != nullptr && hover_->OnKeyDown(vk, 1, code))
        return TRUE;
    {
        LockGuard guard(controls_.Lock());
        std::vector<MControl*>& controls = controls_.Items();
        for (size_t i = 0; i < controls.size(); ++i) {
            if (controls[i]->OnKeyDown(vk, 1, code))
                return TRUE;
        }
    }
    // With Ctrl or Alt these keys mean something else.
    const bool activates = (vk == VK_SPACE || vk == VK_RETURN) && (code == 0 || code == kShiftHeld);
    if (!activates || (lParam & kKeyWasDown) != 0 || focus_ == nullptr || !focus_->IsTabStop())
        return FALSE;
    return access_.DoDefaultAction(focus_) ? TRUE : FALSE;
}

bool InputRouter::OnTab() {
    if (KeyHeld(VK_CONTROL) || KeyHeld(VK_MENU))
        return false;
    MControl* next = KeyHeld(VK_SHIFT) ? PrevFocusable() : NextFocusable();
    if (next == nullptr || next == focus_)
        return false;
    FocusByKeyboard(next);
    return true;
}

void InputRouter::SetFocus(MControl* control) {
    if (control == focus_)
        return;
    MControl* old = focus_;
    focus_ = control;
    if (old != nullptr)
        old->SetControlFocus(FALSE);
    if (control != nullptr)
        control->SetControlFocus(TRUE);
    FocusMoved(old, keyboardCues_);
}

void InputRouter::FocusByKeyboard(MControl* control) {
    const bool cuesBefore = std::exchange(keyboardCues_, true);
    if (control != focus_)
        SetFocus(control);
    else
        FocusMoved(focus_, cuesBefore);  // only the ring may have to show
}

void InputRouter::FocusMoved(MControl* before, bool cuesBefore) {
    if (focus_ != before)
        access_.OnFocusChanged(focus_);
    if (focus_ != before || cuesBefore != keyboardCues_) {
        access_.RepaintFocusRing(before);
        access_.RepaintFocusRing(focus_);
    }
}

template <typename It>
MControl* InputRouter::FindFocusable(It begin, It end) {
    auto focusable = [](const MControl* c) { return c->IsVisible() && c->IsEnabled() && c->IsTabStop(); };
    bool passed = false;
    for (It it = begin; it != end; ++it) {
        if (passed && focusable(*it))
            return *it;
        if (*it == focus_)
            passed = true;
    }
    for (It it = begin; it != end; ++it) {
        if (hover_ == nullptr)
            hover_ = *it;
        if (focusable(*it))
            return *it;
    }
    return nullptr;
}

MControl* InputRouter::NextFocusable() {
    LockGuard guard(controls_.Lock());
    return FindFocusable(controls_.Items().begin(), controls_.Items().end());
}

MControl* InputRouter::PrevFocusable() {
    LockGuard guard(controls_.Lock());
    return FindFocusable(controls_.Items().rbegin(), controls_.Items().rend());
}

void InputRouter::StartDrag() {
    HWND hwnd = window_.Handle();
    RECT window = {};
    ::GetWindowRect(hwnd, &window);
    ::ClipCursor(&window);
    window_.ReleaseCapture();
    captured_ = FALSE;
    RunImageDrag(dragBitmap_.get());
    dragArmed_ = FALSE;
    leftDown_ = FALSE;
    ::ClipCursor(nullptr);
}

void InputRouter::Forget(const MControl* control) noexcept {
    if (hover_ == control) {
        hover_ = nullptr;
        leftDown_ = FALSE;
        rightDown_ = FALSE;
        dragArmed_ = FALSE;
    }
    if (focus_ == control)
        focus_ = nullptr;
}

}  // namespace Tessel
