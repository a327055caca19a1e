#pragma once

#include "controls/MObject.h"
#include "core/ControlList.h"
#include "core/DrawSurface.h"
#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>

#include <vector>

namespace Tessel {

class PaintManager;

// A layout record: where a coordinate lies between two bounds (see PositionItem2Value).
struct POSITION_ITEM {
    int mode = 0;        // 0 offset, 1 from the centre, 2 percentage
    int fromEnd = 0;     // count from the far bound
    float value = 0.0f;  // pixels, or percent in mode 2
};

// A container's own scroll bars are its children with these ids.
inline constexpr UINT kVerticalScrollBarId = 1;
inline constexpr UINT kHorizontalScrollBarId = 2;

// Abstract base of every lightweight control: a rectangle in the host window's client coordinates with
// state flags, two owned child lists, input routing down to the child that wants it, and a drawing cache.
class TESSEL_API MControl : public MObject {
  public:
    MControl(MObject* parent, UINT id, CRect rect, int visible, int enabled, int response);
    // Copies take the plain attributes only: never the locks, child lists, hover child or surfaces.
    MControl(const MControl& other);
    MControl& operator=(const MControl& other);
    ~MControl() override;

    const wchar_t* GetClassNameW() override;
    virtual void InitControl(PaintManager* manager);
    virtual int OnScroll(int delta, UINT flags, CPoint pt);
    virtual int PtInRect(CPoint pt);
    virtual void DrawControl(HDC& dc, CRect clip) = 0;
    virtual int DrawSubControls(HDC& dc, CRect clip);
    virtual int IsDraw(CPoint pt);
    virtual void SetUpdate(int cacheValid, DWORD colour);
    virtual int SetControlFocus(int focus);
    virtual void InitUI(CRect rect);
    virtual int OnMousePointChange(CPoint& pt);
    virtual int OnCheckMouseResponse(UINT flags, CPoint pt);
    virtual LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam);

    // Identity and owner.
    [[nodiscard]] UINT GetControlID() const noexcept { return m_nID; }
    [[nodiscard]] MObject* GetParantObject() const noexcept { return m_pParent; }
    void SetParent(MObject* parent) noexcept { m_pParent = parent; }
    [[nodiscard]] PaintManager* GetManager() const noexcept { return m_pManager; }
    // Stores the engine (the one left behind forgets the control) and calls InitControl with it.
    void SetManager(PaintManager* manager);
    // The engine is being destroyed: the control drops its pointer and from then on acts as a control without
    // an engine, so that nothing it does later, its destruction included, calls into the engine.
    void OnManagerGone() noexcept { m_pManager = nullptr; }

    [[nodiscard]] CRect GetRect() const noexcept { return m_rect; }
    [[nodiscard]] std::vector<MControl*>* GetControls() noexcept { return &m_controls.Items(); }
    [[nodiscard]] std::vector<MControl*>* GetAreaControls() noexcept { return &m_areas.Items(); }
    // Depth first through the control children, then the area children; the control itself is not compared.
    [[nodiscard]] MControl* GetControl(UINT id);
    // Children join a list under its lock; the control owns them from then on.
    void AddControl(MControl* child);
    void AddAreaControl(MControl* child);

    // State. Setters that change the look ask the parent for a repaint.
    void SetRect(CRect rect);
    void SetRect(int x, int y, int cx, int cy);
    void SetVisible(int visible);
    void SetVisible(int visible, int repaint);
    void SetEnabled(int enabled);
    [[nodiscard]] int IsParentVisible();
    void SetDragDrop(int on) noexcept { m_bDragDrop = on; }
    void SetRresponse(int on) noexcept { m_bResponse = on; }
    void SetTabStop(int on) noexcept { m_bTabStop = on; }
    void SetRunTimer(int on) noexcept { m_bRunTimer = on; }
    [[nodiscard]] int IsDragDrop() const noexcept { return m_bDragDrop; }
    [[nodiscard]] int GetRresponse() const noexcept { return m_bResponse; }
    [[nodiscard]] int IsTabStop() const noexcept { return m_bTabStop; }
    [[nodiscard]] int IsRunTimer() const noexcept { return m_bRunTimer; }
    [[nodiscard]] int IsVisible() const noexcept { return m_bVisible; }
    [[nodiscard]] int IsEnabled() const noexcept { return m_bEnabled; }
    [[nodiscard]] int IsFocused() const noexcept { return m_bFocused; }
    [[nodiscard]] int IsKeyDown() const noexcept { return m_bKeyDown; }
    [[nodiscard]] int GetDblClk() const noexcept { return m_bDblClk; }
    [[nodiscard]] int GetUpdate() const noexcept { return m_bUpdate; }
    [[nodiscard]] int UseImageECM() const noexcept { return m_bImageECM; }
    [[nodiscard]] int IsAnimating() const noexcept { return m_bAnimating; }
    [[nodiscard]] int IsPointerOutside() const noexcept { return m_bPointerOutside; }
    [[nodiscard]] MControl* GetHoverControl() const noexcept { return m_pHover; }
    // Keywords "arrow", "wait", "cross", "sizewe", "sizens", "hand", "help"; others leave the cursor alone.
    LONG SetCursorEx(const wchar_t* name);
    [[nodiscard]] HCURSOR GetCursor() const noexcept { return m_hCursor; }

    // Tool tips.
    void SetTooltip(const wchar_t* text);
    void SetTooltip(CString text, CRect rect);
    void ClearTooltip();
    [[nodiscard]] const wchar_t* GetTooltip() const noexcept { return m_strTooltip.GetString(); }
    void SetTooltipCtrlID(int) noexcept {}
    [[nodiscard]] int GetTooltipCtrlID() const noexcept { return 0; }

    // Focus.
    int OnFocus(int focus) { return SetControlFocus(focus); }
    [[nodiscard]] int IsFocusControl() const noexcept;
    MControl* GetFocusControl(MControl*) { return nullptr; }
    MControl* GetNextFocusableControl(MControl*) { return nullptr; }
    MControl* GetPrevFocusableControl(MControl*) { return nullptr; }

    // Children.
    int RemoveControl(MControl* child);
    void RemoveAllControl();
    void AddMTimer();

    // Repaint requests and notifications to the parent.
    void UpdateControl(int discardCache, int force);
    void UpdateControl(CRect rect, int force, int discardCache);
    void UpdateAControl(int animate, int force);
    LRESULT SendMessageW(UINT code, WPARAM wParam, LPARAM lParam);

    // Drawing, called by the engine.
    void Draw(HDC& dc, CRect clip);
    void UpdateMemDC(HDC& dc, int cx, int cy);
    void UpdateAnimateDC(HDC& dc, int cx, int cy);
    [[nodiscard]] HBITMAP GetDropBitmap() { return GetControlDropBitmap(); }

    // Input, called by the engine or by a parent control; non-zero means handled.
    int OnMouseMove(UINT flags, CPoint pt);
    int OnLButtonDown(UINT flags, CPoint pt);
    int OnLButtonUp(UINT flags, CPoint pt);
    int OnLButtonDblClk(UINT flags, CPoint pt);
    int OnRButtonDown(UINT flags, CPoint pt);
    int OnRButtonUp(UINT flags, CPoint pt);
    int OnRButtonDblClk(UINT flags, CPoint pt);
    int OnKeyDown(UINT key, UINT repeat, UINT flags);
    int OnKeyUp(UINT, UINT, UINT) { return 0; }
    int OnTimer();

  protected:
    virtual void SetControlRect(CRect rect);
    virtual void SetControlVisible(int visible);
    virtual void SetControlWndVisible(int) {}
    virtual void SetControlEnabled(int enabled);
    virtual int OnControlTimer() { return 0; }
    virtual HBITMAP GetControlDropBitmap() { return nullptr; }
    virtual int OnControlMouseMove(UINT, CPoint) { return 0; }
    virtual int OnControlSetCursor(UINT flags, CPoint pt);
    virtual int OnControlLButtonDown(UINT, CPoint) { return 0; }
    virtual int OnControlLButtonUp(UINT, CPoint) { return 0; }
    virtual int OnControlLButtonDblClk(UINT, CPoint) { return 0; }
    virtual int OnControlScroll(int, UINT, CPoint) { return 0; }
    virtual int OnControlRButtonDown(UINT, CPoint) { return 0; }
    virtual int OnControlRButtonUp(UINT, CPoint) { return 0; }
    virtual int OnControlRButtonDblClk(UINT, CPoint) { return 0; }
    virtual int OnControlKeyDown(UINT key, UINT repeat, UINT flags);
    virtual void OnPositionChange() {}
    // Invalidates the control's current rectangle in the host window (the argument is not used).
    virtual void InvalidateRect(const RECT* rect, int erase);

    [[nodiscard]] int PositionItem2Value(const POSITION_ITEM& item, int lo, int hi) const noexcept;
    // The frame of a cached control's drawing (defined in CacheDraw.h): `slots` looks side by side in the
    // cache, `slot` the one shown.
    template <typename Painter>
    void DrawCached(HDC& dc, int slots, int slot, Painter&& draw);
    [[nodiscard]] HDC GetMemDC() const noexcept { return m_cache.GetDC(); }
    [[nodiscard]] const DrawSurface& GetMemSurface() const noexcept { return m_cache; }
    [[nodiscard]] HDC GetAnimateDC() const noexcept { return m_animation.GetDC(); }
    [[nodiscard]] const DrawSurface& GetAnimateSurface() const noexcept { return m_animation; }

    MObject* m_pParent;        // not owned
    PaintManager* m_pManager;  // not owned
    UINT m_nID;
    CRect m_rect;
    int m_bVisible;
    int m_bEnabled;
    int m_bDragDrop = 0;
    int m_bResponse;
    int m_bTabStop = 0;
    int m_bDblClk = 0;
    int m_bPressedInside = 0;
    int m_bKeyDown = 0;
    int m_bFocused = 0;
    UINT m_nHotKey = 0;
    UINT m_nHotKeyFlags = 0;
    int m_bUpdate = 0;
    int m_bAnimating = 0;
    int m_bRunTimer = 0;
    int m_bImageECM = 0;
    ControlList m_areas;
    ControlList m_controls;
    MControl* m_pHover = nullptr;  // one of m_controls
    int m_nMemWidth = 0;
    int m_nMemHeight = 0;
    DrawSurface m_cache;
    int m_nAnimateWidth = 0;
    int m_nAnimateHeight = 0;
    DrawSurface m_animation;
    CString m_strTooltip;
    HCURSOR m_hCursor = nullptr;  // shared system cursor, not owned
    int m_bTrackEnterLeave = 0;
    int m_bNotifyDblClk = 0;
    int m_bNotifyKey = 0;
    int m_bPointerOutside = 1;

  private:
    void CopyPlainAttributes(const MControl& other) noexcept;
    // Moves the control to another engine (or none), keeping both engines' records of it right.
    void ChangeManager(PaintManager* manager);
    // A child gets the point as it came in when it is one of the container's own scroll bars, else the point
    // after OnMousePointChange.
    [[nodiscard]] static CPoint PointFor(const MControl* child, CPoint original, CPoint translated) noexcept;
    // False when the control takes no mouse input now; otherwise `original` keeps the point as it came in and
    // `pt` becomes the point after OnMousePointChange.
    bool BeginRoute(CPoint& pt, CPoint& original);
    // A release or a double click ends a press inside the control: the hover child, if any, and in
    // `childPt` the point it gets.
    MControl* EndPress(CPoint original, CPoint pt, CPoint& childPt);
    int RouteButtonDown(UINT flags, CPoint pt, bool right);
    int RouteButtonUp(UINT flags, CPoint pt, bool right);
    int RouteButtonDblClk(UINT flags, CPoint pt, bool right);
    void NotifyKey(UINT key, UINT flags);
};

}  // namespace Tessel
