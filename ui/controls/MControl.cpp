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
      m_pManager(nullptr),
      m_nID(other.m_nID),
      m_rect(other.m_rect),
      m_bVisible(other.m_bVisible),
      m_bEnabled(other.m_bEnabled),
      m_bResponse(other.m_bResponse) {
    CopyPlainAttributes(other);
    ChangeManager(other.m_pManager);
}

MControl& MControl::operator=(const MControl& other) {
    if (this != &other) {
        MObject::operator=(other);
        m_pParent = other.m_pParent;
        ChangeManager(other.m_pManager);
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
    // The engine must not keep pointing at, or ticking, a control that is gone. An engine that went first has
    // already cleared the pointer (OnManagerGone).
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
    LockGuard guard(m_controls.Lock());
    for (MControl* child : m_controls.Items()) {
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
    for (MControl* child : m_controls.Items()) {
        if (RectsIntersect(child->m_rect, m_rect))
            child->SetUpdate(cacheValid, colour);
    }
}

int MControl::SetControlFocus(int focus) {
    if (!focus) {
        LockGuard guard(m_controls.Lock());
        for (MControl* child : m_controls.Items())
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
    ChangeManager(manager);
    InitControl(manager);
}

void MControl::ChangeManager(PaintManager* manager) {
    if (manager == m_pManager)
        return;
    if (m_pManager != nullptr)
        m_pManager->ForgetControl(this);
    m_pManager = manager;
    if (manager != nullptr)
        manager->AttachControl(this);
}

MControl* MControl::GetControl(UINT id) {
    MControl* found = m_controls.Find(id);
    return found != nullptr ? found : m_areas.Find(id);
}

void MControl::AddControl(MControl* child) {
    if (child != nullptr)
        m_controls.Add(child);
}

void MControl::AddAreaControl(MControl* child) {
    if (child != nullptr)
        m_areas.Add(child);
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
    LockGuard guard(m_controls.Lock());
    // The hover child must never point at a deleted control (it is always one of the list's).
    if (m_pHover == child)
        m_pHover = nullptr;
    m_controls.Remove(child);
    return 0;
}

void MControl::RemoveAllControl() {
    m_areas.Clear();
    LockGuard guard(m_controls.Lock());
    m_pHover = nullptr;
    m_controls.Clear();
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
        LockGuard guard(m_areas.Lock());
        for (MControl* area : m_areas.Items()) {
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

void MControl::SetControlEnabled(int enabled) {
    m_bEnabled = enabled;
}

void MControl::InvalidateRect(const RECT*, int erase) {
    if (m_pManager != nullptr)
        m_pManager->InvalidateRect(m_rect, erase);
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

}  // namespace Tessel
