#include "controls/MControl.h"

#include "core/ControlList.h"
#include "core/PaintManager.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cwchar>

namespace Tessel {

namespace {

// Saturating conversions: layout values may be huge or not numbers at all.
int ClampToInt(long long v) noexcept {
    return v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : static_cast<int>(v));
}

int TruncToInt(double v) noexcept {
    if (std::isnan(v))
        return 0;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(v);
}

bool RectsIntersect(const RECT& a, const RECT& b) noexcept {
    RECT out;
    return ::IntersectRect(&out, &a, &b) != FALSE;
}

}  // namespace

MControl::MControl(MObject* parent, UINT id, CRect rect, int visible, int enabled, int response)
    : m_pParent(parent),
      m_pManager(nullptr),
      m_nID(id),
      m_rect(rect),
      m_bVisible(visible),
      m_bEnabled(enabled),
      m_bResponse(response) {}

MControl::MControl(const MControl& other)
    : MObject(other),
      m_pParent(other.m_pParent),
      m_pManager(other.m_pManager),
      m_nID(other.m_nID),
      m_rect(other.m_rect),
      m_bVisible(other.m_bVisible),
      m_bEnabled(other.m_bEnabled),
      m_bResponse(other.m_bResponse) {
    CopyPlainAttributes(other);
}

MControl& MControl::operator=(const MControl& other) {
    if (this != &other) {
        MObject::operator=(other);
        m_pParent = other.m_pParent;
        m_pManager = other.m_pManager;
        m_nID = other.m_nID;
        m_rect = other.m_rect;
        m_bVisible = other.m_bVisible;
        m_bEnabled = other.m_bEnabled;
        m_bResponse = other.m_bResponse;
        CopyPlainAttributes(other);
    }
    return *this;
}

void MControl::CopyPlainAttributes(const MControl& other) noexcept {
    m_bDragDrop = other.m_bDragDrop;
    m_bTabStop = other.m_bTabStop;
    m_bDblClk = other.m_bDblClk;
    m_bKeyDown = other.m_bKeyDown;
    m_bFocused = other.m_bFocused;
    m_nHotKey = other.m_nHotKey;
    m_nHotKeyFlags = other.m_nHotKeyFlags;
    m_bRunTimer = other.m_bRunTimer;
    m_bImageECM = other.m_bImageECM;
    m_strTooltip = other.m_strTooltip;
    m_hCursor = other.m_hCursor;
    m_bTrackEnterLeave = other.m_bTrackEnterLeave;
    m_bNotifyDblClk = other.m_bNotifyDblClk;
    m_bNotifyKey = other.m_bNotifyKey;
    // The copy draws afresh: it has its own (still empty) surfaces and takes no mouse state over.
    m_bPressedInside = 0;
    m_bUpdate = 0;
    m_bAnimating = 0;
    m_bPointerOutside = 1;
}

MControl::~MControl() {
    RemoveAllControl();
    // The engine must not keep pointing at, or ticking, a control that is gone.
    if (m_pManager != nullptr)
        m_pManager->ForgetControl(this);
}

const wchar_t* MControl::GetClassNameW() {
    return L"MControl";
}

void MControl::InitControl(PaintManager*) {}

int MControl::PtInRect(CPoint pt) {
    return m_bVisible && m_rect.PtInRect(pt) ? 1 : 0;
}

int MControl::DrawSubControls(HDC& dc, CRect clip) {
    LockGuard guard(m_controlLock);
    for (MControl* child : m_controls) {
        if (child->IsVisible())
            child->Draw(dc, clip);
    }
    return 1;
}

int MControl::IsDraw(CPoint) {
    return 0;
}

void MControl::SetUpdate(int cacheValid, DWORD colour) {
    m_bUpdate = cacheValid;
    for (MControl* child : m_controls) {
        if (RectsIntersect(child->m_rect, m_rect))
            child->SetUpdate(cacheValid, colour);
    }
}

int MControl::SetControlFocus(int focus) {
    if (!focus) {
        LockGuard guard(m_controlLock);
        for (MControl* child : m_controls)
            child->SetControlFocus(0);
    }
    return 0;
}

void MControl::InitUI(CRect) {}

int MControl::OnMousePointChange(CPoint&) {
    return 0;
}

int MControl::OnCheckMouseResponse(UINT, CPoint) {
    return 1;
}

LRESULT MControl::OnWindowMessage(UINT, WPARAM, LPARAM) {
    return 0;
}

LRESULT MControl::OnMessage(UINT, UINT, WPARAM, LPARAM) {
    return 0;
}

void MControl::SetManager(PaintManager* manager) {
    m_pManager = manager;
    InitControl(manager);
}

MControl* MControl::GetControl(UINT id) {
    MControl* found = FindControl(m_controls, id);
    return found != nullptr ? found : FindControl(m_areas, id);
}

void MControl::AddControl(MControl* child) {
    if (child == nullptr)
        return;
    LockGuard guard(m_controlLock);
    m_controls.push_back(child);
}

void MControl::AddAreaControl(MControl* child) {
    if (child == nullptr)
        return;
    LockGuard guard(m_areaLock);
    m_areas.push_back(child);
}

void MControl::SetRect(CRect rect) {
    CRect both;
    both.UnionRect(m_rect, rect);
    SetControlRect(rect);
    if (m_bVisible && m_pParent != nullptr)
        m_pParent->OnControlUpdate(both, 1, this);
}

void MControl::SetRect(int x, int y, int cx, int cy) {
    SetRect(
        CRect(x, y, ClampToInt(static_cast<long long>(x) + cx), ClampToInt(static_cast<long long>(y) + cy)));
}

void MControl::SetVisible(int visible) {
    SetVisible(visible, 1);
}

void MControl::SetVisible(int visible, int repaint) {
    if (visible == m_bVisible)
        return;
    SetControlVisible(visible);
    if (repaint && m_pParent != nullptr)
        m_pParent->OnControlUpdate(m_rect, 1, this);
}

void MControl::SetEnabled(int enabled) {
    if (enabled == m_bEnabled)
        return;
    SetControlEnabled(enabled);
    if (m_bVisible && m_pParent != nullptr)
        m_pParent->OnControlUpdate(m_rect, 1, this);
}

int MControl::IsParentVisible() {
    if (m_pParent == nullptr)
        return 0;
    const wchar_t* name = m_pParent->GetClassNameW();
    if (name != nullptr && std::wcscmp(name, L"MDialog") == 0)
        return 1;
    auto* parent = dynamic_cast<MControl*>(m_pParent);
    if (parent == nullptr)
        return 0;
    return parent->IsVisible() && parent->IsParentVisible() ? 1 : 0;
}

LONG MControl::SetCursorEx(const wchar_t* name) {
    struct Entry {
        const wchar_t* keyword;
        WORD id;
    };
    static constexpr Entry kCursors[] = {
        {L"arrow", 32512},  {L"wait", 32514}, {L"cross", 32515}, {L"sizewe", 32644},
        {L"sizens", 32645}, {L"hand", 32649}, {L"help", 32651},
    };
    if (name == nullptr)
        return 0;
    for (const Entry& e : kCursors) {
        if (std::wcscmp(e.keyword, name) == 0) {
            m_hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(e.id));
            break;
        }
    }
    return 0;
}

void MControl::SetTooltip(const wchar_t* text) {
    m_strTooltip = text;
}

void MControl::SetTooltip(CString text, CRect rect) {
    if (m_pManager == nullptr)
        return;
    m_pManager->SetTooltip(text, rect);
    m_pManager->SetTooltipCtrlID(static_cast<int>(m_nID));
}

void MControl::ClearTooltip() {
    if (m_pManager == nullptr)
        return;
    m_pManager->ClearTooltip();
    m_pManager->SetTooltipCtrlID(0);
}

int MControl::IsFocusControl() const noexcept {
    return m_pManager != nullptr && m_pManager->GetFocusControl() == this ? 1 : 0;
}

int MControl::RemoveControl(MControl* child) {
    if (child == nullptr)
        return 0;
    if (m_pManager != nullptr && m_pManager->GetFocusControl() == child)
        m_pManager->SetFocusControl(nullptr);
    LockGuard guard(m_controlLock);
    for (auto it = m_controls.begin(); it != m_controls.end(); ++it) {
        if (*it == child) {
            m_controls.erase(it);
            // The hover child must never point at a deleted control.
            if (m_pHover == child)
                m_pHover = nullptr;
            delete child;
            break;
        }
    }
    return 0;
}

void MControl::RemoveAllControl() {
    {
        LockGuard guard(m_areaLock);
        std::vector<MControl*> areas;
        areas.swap(m_areas);
        for (MControl* child : areas)
            delete child;
    }
    LockGuard guard(m_controlLock);
    std::vector<MControl*> controls;
    controls.swap(m_controls);
    m_pHover = nullptr;
    for (MControl* child : controls)
        delete child;
}

void MControl::AddMTimer() {
    if (m_pManager != nullptr)
        m_pManager->AddMTimer(this);
}

void MControl::UpdateControl(int discardCache, int force) {
    if ((m_bVisible || force) && m_pParent != nullptr)
        m_pParent->OnControlUpdate(m_rect, discardCache, this);
}

void MControl::UpdateControl(CRect rect, int force, int discardCache) {
    if ((m_bVisible || force) && m_pParent != nullptr)
        m_pParent->OnControlUpdate(rect, discardCache, this);
}

void MControl::UpdateAControl(int animate, int force) {
    if (!m_bVisible && !force)
        return;
    m_bAnimating = animate == 0 ? 1 : 0;
    if (m_pParent != nullptr)
        m_pParent->OnControlUpdate(m_rect, 0, this);
}

LRESULT MControl::SendMessageW(UINT code, WPARAM wParam, LPARAM lParam) {
    return m_pParent != nullptr ? m_pParent->OnBaseMessage(m_nID, code, wParam, lParam) : 0;
}

void MControl::Draw(HDC& dc, CRect clip) {
    if (!m_bVisible || !RectsIntersect(m_rect, clip))
        return;
    {
        LockGuard guard(m_areaLock);
        for (MControl* area : m_areas) {
            if (RectsIntersect(area->m_rect, m_rect))
                area->Draw(dc, clip);
        }
    }
    DrawControl(dc, clip);
    DrawSubControls(dc, clip);
}

void MControl::UpdateMemDC(HDC& dc, int cx, int cy) {
    m_bUpdate = 1;
    if (cx == m_nMemWidth && cy == m_nMemHeight && m_cache.GetDC() != nullptr)
        return;
    m_cache.Create(dc, cx, cy);
    m_nMemWidth = cx;
    m_nMemHeight = cy;
}

void MControl::UpdateAnimateDC(HDC& dc, int cx, int cy) {
    m_bAnimating = 1;
    m_nAnimateWidth = cx;
    m_nAnimateHeight = cy;
    m_animation.Create(dc, cx, cy);
}

void MControl::SetControlRect(CRect rect) {
    m_rect = rect;
}

void MControl::SetControlVisible(int visible) {
    m_bVisible = visible;
}

void MControl::SetControlWndVisible(int) {}

void MControl::SetControlEnabled(int enabled) {
    m_bEnabled = enabled;
}

int MControl::OnControlTimer() {
    return 0;
}

HBITMAP MControl::GetControlDropBitmap() {
    return nullptr;
}

int MControl::OnControlMouseMove(UINT, CPoint) {
    return 0;
}

int MControl::OnControlSetCursor(UINT, CPoint pt) {
    if (m_hCursor == nullptr || !m_rect.PtInRect(pt))
        return 0;
    ::SetCursor(m_hCursor);
    return 1;
}

int MControl::OnControlLButtonDown(UINT, CPoint) {
    return 0;
}

int MControl::OnControlLButtonUp(UINT, CPoint) {
    return 0;
}

int MControl::OnControlLButtonDblClk(UINT, CPoint) {
    return 0;
}

int MControl::OnControlScroll(int, UINT, CPoint) {
    return 0;
}

int MControl::OnControlRButtonDown(UINT, CPoint) {
    return 0;
}

int MControl::OnControlRButtonUp(UINT, CPoint) {
    return 0;
}

int MControl::OnControlRButtonDblClk(UINT, CPoint) {
    return 0;
}

int MControl::OnControlKeyDown(UINT key, UINT, UINT flags) {
    return m_nHotKey != 0 && key == m_nHotKey && flags == m_nHotKeyFlags ? 1 : 0;
}

void MControl::OnPositionChange() {}

void MControl::InvalidateRect(const RECT*, int erase) {
    if (m_pManager == nullptr)
        return;
    HWND hwnd = m_pManager->GetPaintWnd();
    if (hwnd == nullptr || !::IsWindow(hwnd))
        return;
    if (m_pManager->IsLayeredWindow())
        ::InvalidateRect(hwnd, nullptr, TRUE);
    else
        ::InvalidateRect(hwnd, &m_rect, erase);
}

int MControl::PositionItem2Value(const POSITION_ITEM& item, int lo, int hi) const noexcept {
    const int v = TruncToInt(item.value);
    switch (item.mode) {
        case 0:
            return item.fromEnd ? ClampToInt(static_cast<long long>(hi) - v)
                                : ClampToInt(static_cast<long long>(lo) + v);
        case 1: {
            const long long centre = lo + (static_cast<long long>(hi) - lo) / 2;
            return ClampToInt(item.fromEnd ? centre - v : centre + v);
        }
        case 2: {
            const double at = lo + (static_cast<double>(hi) - lo) * static_cast<double>(item.value) / 100.0;
            if (std::isnan(at))
                return lo;
            const int result = TruncToInt(at);
            return result > hi ? hi : result;
        }
        default:
            return 0;
    }
}

// Input routing. Every loop over a child list holds that list's lock for the whole loop, nested calls
// included, so a child cannot be removed from under an event.

CPoint MControl::PointFor(const MControl* child, CPoint original, CPoint translated) noexcept {
    const UINT id = child->m_nID;
    return id == 1 || id == 2 ? original : translated;
}

int MControl::OnMouseMove(UINT flags, CPoint pt) {
    if (!m_bVisible || !m_bResponse)
        return 0;
    const CPoint original = pt;
    OnMousePointChange(pt);
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
        LockGuard guard(m_controlLock);
        for (MControl* child : m_controls) {
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
    if (!m_bVisible || !m_bResponse)
        return 0;
    const CPoint original = pt;
    OnMousePointChange(pt);
    m_bPressedInside = m_rect.PtInRect(pt) ? 1 : 0;
    {
        LockGuard guard(m_controlLock);
        for (MControl* child : m_controls) {
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

int MControl::RouteButtonUp(UINT flags, CPoint pt, bool right) {
    if (!m_bVisible || !m_bResponse)
        return 0;
    const CPoint original = pt;
    OnMousePointChange(pt);
    m_bPressedInside = 0;
    if (MControl* hover = m_pHover) {
        const CPoint p = PointFor(hover, original, pt);
        return (right ? hover->OnRButtonUp(flags, p) : hover->OnLButtonUp(flags, p)) ? 1 : 0;
    }
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

int MControl::OnLButtonDblClk(UINT flags, CPoint pt) {
    if (!m_bVisible || !m_bResponse)
        return 0;
    const CPoint original = pt;
    OnMousePointChange(pt);
    m_bPressedInside = 0;
    if (MControl* hover = m_pHover) {
        const CPoint p = PointFor(hover, original, pt);
        if (hover->OnLButtonDblClk(flags, p))
            return 1;
        return hover->m_bDblClk ? 0 : hover->OnLButtonDown(flags, p);
    }
    if (!m_bDblClk)
        return OnControlLButtonDown(flags, pt);
    if (m_bNotifyDblClk && m_rect.PtInRect(pt))
        SendMessageW(3, flags, reinterpret_cast<LPARAM>(&pt));
    return OnControlLButtonDblClk(flags, pt);
}

int MControl::OnRButtonDblClk(UINT flags, CPoint pt) {
    if (!m_bVisible || !m_bResponse)
        return 0;
    const CPoint original = pt;
    OnMousePointChange(pt);
    m_bPressedInside = 0;
    if (MControl* hover = m_pHover) {
        const CPoint p = PointFor(hover, original, pt);
        if (hover->OnRButtonDblClk(flags, p))
            return 1;
        return hover->m_bDblClk ? 0 : hover->OnRButtonDown(flags, p);
    }
    return m_bDblClk ? OnControlRButtonDblClk(flags, pt) : OnControlRButtonDown(flags, pt);
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
    LockGuard guard(m_controlLock);
    for (MControl* child : m_controls) {
        if (child->PtInRect(pt) && child->OnScroll(delta, flags, pt))
            return 1;
    }
    return 0;
}

void MControl::NotifyKey(UINT key, UINT flags) {
    if (m_bNotifyKey)
        SendMessageW(14, key, flags);
}

int MControl::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (!m_bVisible || !m_bResponse)
        return 0;
    {
        // Keys belong to the deepest focused descendant; the locks stay held on the way down.
        LockGuard guard(m_controlLock);
        for (MControl* child : m_controls) {
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
        LockGuard guard(m_controlLock);
        for (MControl* child : m_controls) {
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
    LockGuard guard(m_controlLock);
    for (MControl* child : m_controls) {
        if (child->m_bRunTimer && child->m_bVisible && child->OnTimer())
            result = 1;
    }
    return result;
}

}  // namespace Tessel
