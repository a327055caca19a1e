#pragma once

// A test control that records what reaches its hooks and lets a test set the flags that only derived controls
// may set, and an owner that records what controls report.

#include "controls/MControl.h"
#include "core/PaintManager.h"

#include <string>
#include <vector>

namespace testing_support {

using Tessel::MControl;
using Tessel::MObject;

struct Update {
    CRect rect;
    int discard;
    MControl* control;
};

// A notification as it reached an owner's OnBaseMessage (or a dialog's OnMessage).
struct Notice {
    UINT id;
    UINT code;
    WPARAM wParam;
    LPARAM lParam;
};

// An owner that records repaint requests and notifications. With an engine, repaint requests go on to it as
// they would from a dialog.
class Owner : public MObject {
  public:
    explicit Owner(Tessel::PaintManager* engine = nullptr) : engine_(engine) {}
    LRESULT OnBaseMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam) override {
        notices.push_back({id, code, wParam, lParam});
        if (code == Tessel::kNotifyDoubleClick)
            lastPoint = *reinterpret_cast<const CPoint*>(lParam);
        return 0;
    }
    LRESULT OnControlUpdate(CRect rect, int discard, MControl* control) override {
        updates.push_back({rect, discard, control});
        return engine_ != nullptr ? engine_->OnControlUpdate(rect, discard, control) : 0;
    }
    std::vector<Notice> notices;
    std::vector<Update> updates;
    CPoint lastPoint;

  private:
    Tessel::PaintManager* engine_;  // not owned
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
    UINT scrollFlags = 0;  // as the last OnScroll got them
    int takeMove = 0, takeDown = 1, takeUp = 1, takeDbl = 1, takeKey = 0, takeScroll = 0, takeTimer = 0;
    CPoint shift;
    std::vector<int> focusLog;
    std::vector<Notice> notices;
    std::vector<UINT> ownLog;
    std::vector<UINT>* drawLog = &ownLog;

  protected:
    int OnControlMouseMove(UINT, CPoint pt) override { return Took(moves, pt, takeMove); }
    int OnControlLButtonDown(UINT, CPoint pt) override { return Took(downs, pt, takeDown); }
    int OnControlLButtonUp(UINT, CPoint pt) override { return Took(ups, pt, takeUp); }
    int OnControlLButtonDblClk(UINT, CPoint pt) override { return Took(dblclks, pt, takeDbl); }
    int OnControlRButtonDown(UINT, CPoint) override { return Took(rdowns, lastPt, takeDown); }
    int OnControlRButtonUp(UINT, CPoint) override { return Took(rups, lastPt, takeUp); }
    int OnControlRButtonDblClk(UINT, CPoint) override { return Took(rdblclks, lastPt, takeDbl); }
    int OnControlScroll(int, UINT flags, CPoint) override {
        scrollFlags = flags;
        return Took(scrolls, lastPt, takeScroll);
    }
    int OnControlTimer() override { return Took(ticks, lastPt, takeTimer); }
    int OnControlKeyDown(UINT key, UINT repeat, UINT flags) override {
        ++keys;
        return takeKey || MControl::OnControlKeyDown(key, repeat, flags);
    }

  private:
    // Counts a call to a hook, remembers its point and answers as the test chose.
    int Took(int& count, CPoint pt, int answer) {
        ++count;
        lastPt = pt;
        return answer;
    }
};

// Adds a probe child to a control and returns it; the parent owns it.
inline Probe* AddProbe(MControl& parent, UINT id, CRect rect, int visible = 1, int enabled = 1) {
    auto* child = new Probe(&parent, id, rect, visible, enabled, 1);
    parent.AddControl(child);
    return child;
}

}  // namespace testing_support
