// Input routing of the control base: mouse, wheel, keys and timer ticks travel down to the child that wants
// them. Every loop over a child list holds that list's lock for the whole loop, nested calls included, so a
// child cannot be removed from under an event.

#include "controls/MControl.h"

#include "core/PaintManager.h"

namespace Tessel {

int MControl::OnControlSetCursor(UINT, CPoint pt) {
    if (m_hCursor == nullptr || !m_rect.PtInRect(pt))
        return 0;
    ::SetCursor(m_hCursor);
    return 1;
}

int MControl::OnControlKeyDown(UINT key, UINT, UINT flags) {
    return m_nHotKey != 0 && key == m_nHotKey && flags == m_nHotKeyFlags ? 1 : 0;
}

CPoint MControl::PointFor(const MControl* child, CPoint original, CPoint translated) noexcept {
    const UINT id = child->m_nID;
    return id == kVerticalScrollBarId || id == kHorizontalScrollBarId ? original : translated;
}

bool MControl::BeginRoute(CPoint& pt, CPoint& original) {
    if (!m_bVisible || !m_bResponse)
        return false;
    original = pt;
    OnMousePointChange(pt);
    return true;
}

int MControl::OnMouseMove(UINT flags, CPoint pt) {
    CPoint original;
    if (!BeginRoute(pt, original))
        return 0;
    if (MControl* hover = m_pHover) {
        const CPoint p = PointFor(hover, original, pt);
        if (hover->PtInRect(p) && hover->OnCheckMouseResponse(flags, p))
            return hover->OnMouseMove(flags, p) ? 1 : 0;
        if (m_bPressedInside)
            return hover->OnMouseMove(flags, p);
    }
    MControl* previous = m_pHover;
    m_pHover = nullptr;
    if (!m_strTooltip.IsEmpty() && PtInRect(pt) && OnCheckMouseResponse(flags, pt) && m_pManager != nullptr &&
        m_pManager->GetTooltipCtrlID() != static_cast<int>(m_nID)) {
        m_pManager->SetTooltip(m_strTooltip, m_rect);
        m_pManager->SetTooltipCtrlID(static_cast<int>(m_nID));
    }
    OnControlSetCursor(flags, pt);
    int result = OnControlMouseMove(flags, pt);
    if (m_bTrackEnterLeave) {
        if (m_rect.PtInRect(pt))
            m_bPointerOutside = 0;
        else if (!m_bPointerOutside)
            m_bPointerOutside = 1;
    }
    if (m_bPressedInside)
        return result;
    {
        LockGuard guard(m_controls.Lock());
        for (MControl* child : m_controls.Items()) {
            const CPoint p = PointFor(child, original, pt);
            if (child->OnMouseMove(flags, p)) {
                result = 1;
                if (child->PtInRect(p))
                    m_pHover = child;
            }
        }
    }
    return m_pHover != nullptr || previous != nullptr ? 1 : result;
}

int MControl::RouteButtonDown(UINT flags, CPoint pt, bool right) {
    CPoint original;
    if (!BeginRoute(pt, original))
        return 0;
    m_bPressedInside = m_rect.PtInRect(pt) ? 1 : 0;
    {
        LockGuard guard(m_controls.Lock());
        for (MControl* child : m_controls.Items()) {
            const CPoint p = PointFor(child, original, pt);
            if (child->PtInRect(p) && child->m_bVisible && child->m_bEnabled && child->m_bResponse)
                m_pHover = child;
        }
    }
    if (MControl* hover = m_pHover) {
        const CPoint p = PointFor(hover, original, pt);
        return (right ? hover->OnRButtonDown(flags, p) : hover->OnLButtonDown(flags, p)) ? 1 : 0;
    }
    if (m_pManager != nullptr && m_pManager->GetFocusControl() != this)
        m_pManager->SetFocusControl(this);
    return right ? OnControlRButtonDown(flags, pt) : OnControlLButtonDown(flags, pt);
}

MControl* MControl::EndPress(CPoint original, CPoint pt, CPoint& childPt) {
    m_bPressedInside = 0;
    if (m_pHover != nullptr)
        childPt = PointFor(m_pHover, original, pt);
    return m_pHover;
}

int MControl::RouteButtonUp(UINT flags, CPoint pt, bool right) {
    CPoint original;
    if (!BeginRoute(pt, original))
        return 0;
    CPoint p;
    if (MControl* hover = EndPress(original, pt, p))
        return (right ? hover->OnRButtonUp(flags, p) : hover->OnLButtonUp(flags, p)) ? 1 : 0;
    return right ? OnControlRButtonUp(flags, pt) : OnControlLButtonUp(flags, pt);
}

int MControl::OnLButtonDown(UINT flags, CPoint pt) {
    return RouteButtonDown(flags, pt, false);
}

int MControl::OnRButtonDown(UINT flags, CPoint pt) {
    return RouteButtonDown(flags, pt, true);
}

int MControl::OnLButtonUp(UINT flags, CPoint pt) {
    return RouteButtonUp(flags, pt, false);
}

int MControl::OnRButtonUp(UINT flags, CPoint pt) {
    return RouteButtonUp(flags, pt, true);
}

int MControl::RouteButtonDblClk(UINT flags, CPoint pt, bool right) {
    CPoint original;
    if (!BeginRoute(pt, original))
        return 0;
    CPoint p;
    if (MControl* hover = EndPress(original, pt, p)) {
        // A child that takes no double click sees a second press instead.
        if (right ? hover->OnRButtonDblClk(flags, p) : hover->OnLButtonDblClk(flags, p))
            return 1;
        if (hover->m_bDblClk)
            return 0;
        return right ? hover->OnRButtonDown(flags, p) : hover->OnLButtonDown(flags, p);
    }
    if (!m_bDblClk)
        return right ? OnControlRButtonDown(flags, pt) : OnControlLButtonDown(flags, pt);
    if (right)
        return OnControlRButtonDblClk(flags, pt);
    if (m_bNotifyDblClk && m_rect.PtInRect(pt))
        SendMessageW(kNotifyDoubleClick, flags, reinterpret_cast<LPARAM>(&pt));
    return OnControlLButtonDblClk(flags, pt);
}

int MControl::OnLButtonDblClk(UINT flags, CPoint pt) {
    return RouteButtonDblClk(flags, pt, false);
}

int MControl::OnRButtonDblClk(UINT flags, CPoint pt) {
    return RouteButtonDblClk(flags, pt, true);
}

int MControl::OnScroll(int delta, UINT flags, CPoint pt) {
    if (!m_bVisible || !m_bResponse || !m_bEnabled)
        return 0;
    if (MControl* hover = m_pHover) {
        if (hover->PtInRect(pt) && hover->OnCheckMouseResponse(flags, pt))
            return hover->OnScroll(delta, flags, pt) ? 1 : 0;
    }
    if (!m_rect.PtInRect(pt))
        return 0;
    if (OnControlScroll(delta, flags, pt))
        return 1;
    LockGuard guard(m_controls.Lock());
    for (MControl* child : m_controls.Items()) {
        if (child->PtInRect(pt) && child->OnScroll(delta, flags, pt))
            return 1;
    }
    return 0;
}

void MControl::NotifyKey(UINT key, UINT flags) {
    if (m_bNotifyKey)
        SendMessageW(kNotifyKey, key, flags);
}

int MControl::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (!m_bVisible || !m_bResponse)
        return 0;
    {
        // Keys belong to the deepest focused descendant; the locks stay held on the way down.
        LockGuard guard(m_controls.Lock());
        for (MControl* child : m_controls.Items()) {
            if (child->m_bFocused)
                return child->OnKeyDown(key, repeat, flags);
        }
    }
    if (m_pHover != nullptr && m_pHover->OnKeyDown(key, repeat, flags))
        return 1;
    if (OnControlKeyDown(key, repeat, flags)) {
        NotifyKey(key, flags);
        return 1;
    }
    {
        LockGuard guard(m_controls.Lock());
        for (MControl* child : m_controls.Items()) {
            if (child->OnKeyDown(key, repeat, flags)) {
                NotifyKey(key, flags);
                return 1;
            }
        }
    }
    NotifyKey(key, flags);
    return 0;
}

int MControl::OnTimer() {
    int result = OnControlTimer() ? 1 : 0;
    LockGuard guard(m_controls.Lock());
    for (MControl* child : m_controls.Items()) {
        if (child->m_bRunTimer && child->m_bVisible && child->OnTimer())
            result = 1;
    }
    return result;
}

}  // namespace Tessel
