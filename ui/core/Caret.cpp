#include "core/Caret.h"

#include "controls/MControlFont.h"
#include "core/ControlTimers.h"
#include "core/PaintWindow.h"

namespace Tessel {

void Caret::Invalidate() {
    window_.InvalidateRect(rect_, FALSE);
}

void Caret::Create(HBITMAP bitmap, int width, int height) {
    if (HWND hwnd = window_.Handle())
        ::CreateCaret(hwnd, bitmap, width, height);
    rect_ = CRect(rect_.left, rect_.top, rect_.left + width, rect_.top + height);
}

BOOL Caret::SetPos(MControlFont* owner, int x, int y) {
    if (!::SetCaretPos(x, y))
        return FALSE;
    owner_ = owner;
    Invalidate();
    rect_ = CRect(CPoint(x, y), rect_.Size());
    Invalidate();
    return TRUE;
}

void Caret::Show(BOOL show) {
    HWND hwnd = window_.Handle();
    if (show && !shown_) {
        shown_ = TRUE;
        if (hwnd != nullptr)
            ::SetTimer(hwnd, kCaretTimer, ::GetCaretBlinkTime(), nullptr);
        if (!phase_) {
            Invalidate();
            phase_ = TRUE;
        }
    } else if (!show && shown_) {
        shown_ = FALSE;
        if (hwnd != nullptr)
            ::KillTimer(hwnd, kCaretTimer);
        if (phase_)
            Invalidate();
        phase_ = FALSE;
    }
}

void Caret::Blink() {
    Invalidate();
    phase_ = !phase_;
}

void Caret::Draw(HDC dc, const CRect& paintRect) {
    HWND hwnd = window_.Handle();
    if (owner_ == nullptr || !owner_->IsFocused() || ::GetFocus() != hwnd) {
        if (hwnd != nullptr)
            ::KillTimer(hwnd, kCaretTimer);
        if (phase_)
            Invalidate();
        phase_ = FALSE;
        return;
    }
    if (!phase_ || !shown_)
        return;
    CRect visible;
    if (!visible.IntersectRect(rect_, paintRect))
        return;
    Gdiplus::Graphics g(dc);
    Gdiplus::SolidBrush ink(Gdiplus::Color((owner_->GetTextColor() & 0x00FFFFFF) | 0xFE000000));
    g.FillRectangle(&ink, static_cast<INT>(visible.left), static_cast<INT>(visible.top),
                    static_cast<INT>(visible.Width()), static_cast<INT>(visible.Height()));
}

void Caret::Forget(const MControl* control) noexcept {
    if (owner_ != nullptr && static_cast<const MControl*>(owner_) == control)
        owner_ = nullptr;
}

}  // namespace Tessel
