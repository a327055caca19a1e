#pragma once

// A test control that records what reaches its hooks and lets a test set the flags that only derived controls
// may set.

#include "controls/MControl.h"
#include "core/PaintManager.h"

#include <string>
#include <vector>

namespace tessel_test {

using Tessel::MControl;
using Tessel::MObject;

struct Update {
    CRect rect;
    int discard;
    MControl* control;
};

struct Notice {
    UINT id;
    UINT code;
    WPARAM wParam;
    LPARAM lParam;
};

// An owner that records repaint requests and notifications.
class Owner : public MObject {
  public:
    LRESULT OnBaseMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam) override {
        notices.push_back({id, code, wParam, lParam});
        if (code == 3)
            lastPoint = *reinterpret_cast<const CPoint*>(lParam);
        return 0;
    }
    LRESULT OnControlUpdate(CRect rect, int discard, MControl* control) override {
        updates.push_back({rect, discard, control});
        return 0;
    }
    std::vector<Notice> notices;
    std::vector<Update> updates;
    CPoint lastPoint;
};

class Probe : public MControl {
  public:
    Probe(MObject* parent, UINT id, CRect rect, int visible = 1, int enabled = 1, int response = 1)
        : MControl(parent, id, rect, visible, enabled, response) {}

    void DrawControl(HDC&, CRect) override { drawLog->push_back(GetControlID()); }

    // Child notifications arrive here when the parent is a control.
    LRESULT OnBaseMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam) override {
        notices.push_back({id, code, wParam, lParam});
        return 0;
    }
    int SetControlFocus(int focus) override {
        m_bFocused = focus;
        focusLog.push_back(focus);
        return MControl::SetControlFocus(focus);
    }
    int OnMousePointChange(CPoint& pt) override {
        pt.x += shift.x;
        pt.y += shift.y;
        return 0;
    }

    // Flags that only derived controls set.
    void SetFocusedFlag(int f) { m_bFocused = f; }
    void SetDblClkFlag(int f) { m_bDblClk = f; }
    void SetNotifyKey(int f) { m_bNotifyKey = f; }
    void SetNotifyDblClk(int f) { m_bNotifyDblClk = f; }
    void SetTrackEnterLeave(int f) { m_bTrackEnterLeave = f; }
    void SetHotKey(UINT key, UINT flags) {
        m_nHotKey = key;
        m_nHotKeyFlags = flags;
    }
    void Invalidate(int erase) { InvalidateRect(nullptr, erase); }
    int Position(const Tessel::POSITION_ITEM& item, int lo, int hi) const {
        return PositionItem2Value(item, lo, hi);
    }
    HDC MemDC() const { return GetMemDC(); }
    HDC AnimateDC() const { return GetAnimateDC(); }
    int KeyHook(UINT key, UINT repeat, UINT flags) { return MControl::OnControlKeyDown(key, repeat, flags); }

    int moves = 0, downs = 0, ups = 0, dblclks = 0, rdowns = 0, rups = 0, rdblclks = 0, keys = 0, ticks = 0,
        scrolls = 0;
    CPoint lastPt{-1, -1};
    int takeMove = 0, takeDown = 1, takeUp = 1, takeDbl = 1, takeKey = 0, takeScroll = 0, takeTimer = 0;
    CPoint shift;
    std::vector<int> focusLog;
    std::vector<Notice> notices;
    std::vector<UINT> ownLog;
    std::vector<UINT>* drawLog = &ownLog;

  protected:
    int OnControlMouseMove(UINT, CPoint pt) override {
        ++moves;
        lastPt = pt;
        return takeMove;
    }
    int OnControlLButtonDown(UINT, CPoint pt) override {
        ++downs;
        lastPt = pt;
        return takeDown;
    }
    int OnControlLButtonUp(UINT, CPoint pt) override {
        ++ups;
        lastPt = pt;
        return takeUp;
    }
    int OnControlLButtonDblClk(UINT, CPoint pt) override {
        ++dblclks;
        lastPt = pt;
        return takeDbl;
    }
    int OnControlRButtonDown(UINT, CPoint) override {
        ++rdowns;
        return takeDown;
    }
    int OnControlRButtonUp(UINT, CPoint) override {
        ++rups;
        return takeUp;
    }
    int OnControlRButtonDblClk(UINT, CPoint) override {
        ++rdblclks;
        return takeDbl;
    }
    int OnControlKeyDown(UINT key, UINT repeat, UINT flags) override {
        ++keys;
        return takeKey || MControl::OnControlKeyDown(key, repeat, flags);
    }
    int OnControlScroll(int, UINT, CPoint) override {
        ++scrolls;
        return takeScroll;
    }
    int OnControlTimer() override {
        ++ticks;
        return takeTimer;
    }
};

// Adds a probe child to a control and returns it; the parent owns it.
inline Probe* AddProbe(MControl& parent, UINT id, CRect rect, int visible = 1, int enabled = 1) {
    auto* child = new Probe(&parent, id, rect, visible, enabled, 1);
    parent.AddControl(child);
    return child;
}

}  // namespace tessel_test
