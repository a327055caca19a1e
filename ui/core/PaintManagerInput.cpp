// The engine's message side: the window's messages, the keys and mouse messages before dispatch, and the
// drop target. Input itself is routed by InputRouter.

#include "controls/MControl.h"
#include "core/DropBitmap.h"
#include "core/PaintManager.h"

#include <windowsx.h>

namespace Tessel {

namespace {

// Native child windows handle their own notifications as reflected messages: the message number + 0x2000.
constexpr UINT kReflectedMessage = 0x2000;

CPoint PointOf(LPARAM lParam) noexcept {
    return CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
}

}  // namespace

LRESULT PaintManager::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // The shadow follows the window whatever its controls do with the message.
    m_shadow.OnOwnerMessage(msg);
    {
        LockGuard guard(m_controls.Lock());
        std::vector<MControl*>& controls = m_controls.Items();
        for (size_t i = 0; i < controls.size(); ++i) {
            if (controls[i]->OnWindowMessage(msg, wParam, lParam))
                return 0;
        }
    }
    if (LRESULT answer = 0; m_access.OnWindowMessage(msg, wParam, lParam, answer))
        return answer;
    const auto flags = static_cast<UINT>(wParam);
    switch (msg) {
        case WM_DESTROY:
            // OLE keeps the target until it is revoked, and only a live window can be revoked.
            RevokeTarget();
            return 1;
        case WM_PAINT:
            return OnPaint() ? 1 : 0;
        case WM_NCDESTROY:
            DestroyData();
            return 1;
        case WM_CREATE:
        case WM_SIZE:
        case WM_CHAR:
        case WM_MOUSEHOVER:
            return 1;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            if (info == nullptr)
                return 1;
            if (m_minSize.cx > 0)
                info->ptMinTrackSize.x = m_minSize.cx;
            if (m_minSize.cy > 0)
                info->ptMinTrackSize.y = m_minSize.cy;
            if (m_maxSize.cx > 0)
                info->ptMaxTrackSize.x = info->ptMaxSize.x = m_maxSize.cx;
            if (m_maxSize.cy > 0)
                info->ptMaxTrackSize.y = info->ptMaxSize.y = m_maxSize.cy;
            return 1;
        }
        case WM_NCACTIVATE:
            return OnNcActivate(static_cast<BOOL>(wParam)) ? 1 : 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return OnKeyDown(flags, lParam) ? 1 : 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            return 0;
        case WM_COMMAND:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (lParam != 0)
                return ::SendMessageW(reinterpret_cast<HWND>(lParam), msg + kReflectedMessage, wParam,
                                      lParam);
            return 0;
        case WM_TIMER:
            OnTimer(flags);
            return 0;
        case WM_MOUSEMOVE:
            return OnMouseMove(flags, PointOf(lParam)) ? 1 : 0;
        case WM_LBUTTONDOWN:
            return OnLButtonDown(flags, PointOf(lParam)) ? 1 : 0;
        case WM_LBUTTONUP:
            return OnLButtonUp(flags, PointOf(lParam)) ? 1 : 0;
        case WM_LBUTTONDBLCLK:
            return OnLButtonDblClk(flags, PointOf(lParam)) ? 1 : 0;
        case WM_RBUTTONDOWN:
            return OnRButtonDown(flags, PointOf(lParam)) ? 1 : 0;
        case WM_RBUTTONUP:
            return OnRButtonUp(flags, PointOf(lParam)) ? 1 : 0;
        case WM_RBUTTONDBLCLK:
            return OnRButtonDblClk(flags, PointOf(lParam)) ? 1 : 0;
        case WM_MOUSEWHEEL:
            return OnMouseWheel(GET_KEYSTATE_WPARAM(wParam), GET_WHEEL_DELTA_WPARAM(wParam), PointOf(lParam))
                       ? 1
                       : 0;
        case WM_MOUSELEAVE:
            return OnMouseLeave() ? 1 : 0;
        default:
            return 0;
    }
}

BOOL PaintManager::PreTranslateMessage(MSG* msg) {
    // Only messages of this window (or of native children inside it) concern its engine.
    HWND hwnd = m_window.Handle();
    if (msg == nullptr || hwnd == nullptr || (msg->hwnd != hwnd && !::IsChild(hwnd, msg->hwnd)))
        return FALSE;
    switch (msg->message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return msg->wParam == VK_TAB && m_input.OnTab() ? TRUE : FALSE;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MOUSEWHEEL:
            m_tooltip.Relay(msg);
            return FALSE;
        default:
            return FALSE;
    }
}

BOOL PaintManager::OnMouseMove(UINT flags, CPoint pt) {
    return m_input.OnMouseMove(flags, pt);
}

BOOL PaintManager::OnMouseLeave() {
    return m_input.OnMouseLeave();
}

BOOL PaintManager::OnLButtonDown(UINT flags, CPoint pt) {
    return m_input.OnButtonDown(flags, pt, false);
}

BOOL PaintManager::OnLButtonUp(UINT flags, CPoint pt) {
    return m_input.OnButtonUp(flags, pt, false);
}

BOOL PaintManager::OnLButtonDblClk(UINT flags, CPoint pt) {
    return m_input.OnButtonDblClk(flags, pt, false);
}

BOOL PaintManager::OnRButtonDown(UINT flags, CPoint pt) {
    return m_input.OnButtonDown(flags, pt, true);
}

BOOL PaintManager::OnRButtonUp(UINT flags, CPoint pt) {
    return m_input.OnButtonUp(flags, pt, true);
}

BOOL PaintManager::OnRButtonDblClk(UINT flags, CPoint pt) {
    return m_input.OnButtonDblClk(flags, pt, true);
}

BOOL PaintManager::OnMouseWheel(UINT, short delta, CPoint screenPt) {
    return m_input.OnMouseWheel(delta, screenPt);
}

BOOL PaintManager::OnNcActivate(BOOL active) {
    return m_input.OnNcActivate(active);
}

BOOL PaintManager::OnKeyDown(UINT vk, LPARAM lParam) {
    return m_input.OnKeyDown(vk, lParam);
}

void PaintManager::SetFocusControl(MControl* control) {
    m_input.SetFocus(control);
}

MControl* PaintManager::GetNextFocusableControl() {
    return m_input.NextFocusable();
}

MControl* PaintManager::GetPrevFocusableControl() {
    return m_input.PrevFocusable();
}

HWND PaintManager::SetCapture() {
    return m_window.SetCapture();
}

BOOL PaintManager::ReleaseCapture() {
    return m_window.ReleaseCapture();
}

void PaintManager::GetWindowMinSize(int& cx, int& cy) const noexcept {
    cx = m_minSize.cx;
    cy = m_minSize.cy;
}

void PaintManager::GetWindowManSize(int& cx, int& cy) const noexcept {
    cx = m_maxSize.cx;
    cy = m_maxSize.cy;
}

BOOL PaintManager::InitDragDrop() {
    if (!RegisterTarget(m_window.Handle()))
        return FALSE;
    if (!m_bFormatsListed) {
        for (const FORMATETC& format : kDropFormats)
            AddSuportedFormat(format);
        m_bFormatsListed = TRUE;
    }
    return TRUE;
}

bool PaintManager::OnDrop(FORMATETC* format, STGMEDIUM& medium, DWORD*) {
    HWND hwnd = m_window.Handle();
    if (format == nullptr || hwnd == nullptr || !::IsWindow(hwnd))
        return false;
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    ::ScreenToClient(hwnd, &cursor);
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(cursor.x, cursor.y));
    UniqueBitmap bitmap(BitmapFromDrop(*format, medium));
    if (!bitmap)
        return false;
    // The receiver copies what it keeps during the send; the bitmap stays the engine's and is freed here.
    ::SendMessageW(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
    return true;
}

}  // namespace Tessel
