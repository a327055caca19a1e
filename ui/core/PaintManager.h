#pragma once

// The paint engine of one native window, as far as controls see it: the host window, the focus control, the
// tool tip, the master-timer list, and the image and font caches that controls draw from. Painting and the
// turning of window messages into control input build on this.

#include "core/CIDropTarget.h"
#include "core/Handle.h"
#include "core/MAirBladder.h"
#include "core/MMediaTimer.h"
#include "core/RecursiveLock.h"
#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tessel {

class MControl;
class MControlFont;
class MWindow;

// One cached skin image: an image strip of `frames` equal states laid side by side.
struct ImgResInfo {
    std::unique_ptr<Gdiplus::Image> image;  // owned
    int frameWidth = 0;
    int height = 0;
    int frames = 0;
    CString name;
    UINT resourceId = 0;
    Microsoft::WRL::ComPtr<IStream> stream;  // backs an image decoded from a resource
};

class TESSEL_API PaintManager : public MMediaTimer, public CIDropTarget {
  public:
    PaintManager() noexcept;
    ~PaintManager() override;
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    // Binds the engine to its window; a null or dead handle is ignored.
    void Init(HWND hwnd, MWindow* owner) noexcept;
    [[nodiscard]] HWND GetPaintWnd() const noexcept { return m_hPaintWnd; }
    [[nodiscard]] MWindow* GetMDialog() const noexcept { return m_pOwner; }  // not owned

    // A layered window is repainted as a whole (per-pixel alpha through UpdateLayeredWindow).
    void SetLayeredWindow(BOOL layered) noexcept { m_bLayered = layered; }
    [[nodiscard]] BOOL IsLayeredWindow() const noexcept { return m_bLayered; }

    // The old focus control loses its focus, the new one gains it.
    void SetFocusControl(MControl* control);
    [[nodiscard]] MControl* GetFocusControl() const noexcept { return m_pFocus; }

    // One tool tip per window, shown over the whole client area; the rectangle is not used.
    void SetTooltip(const wchar_t* text, CRect rect) noexcept;
    void ClearTooltip() noexcept;
    // Id of the control whose tip is shown, so that moving within it does not show the tip again.
    void SetTooltipCtrlID(int id) noexcept { m_nTooltipCtrlID = id; }
    [[nodiscard]] int GetTooltipCtrlID() const noexcept { return m_nTooltipCtrlID; }
    [[nodiscard]] HWND GetTooltipWnd() const noexcept { return m_hTooltip.get(); }

    // Controls ticked by the master timer; not owned.
    BOOL AddMTimer(MControl* control);
    [[nodiscard]] const std::vector<MControl*>& GetMTimerControls() const noexcept {
        return m_mtimerControls;
    }

    // Skin images, loaded once per name (relative to the skin folder) or resource id; null when the image
    // cannot be had, and a later call tries again.
    ImgResInfo* AddImgResInfo(const wchar_t* name, int frames);
    ImgResInfo* AddImgResInfo(UINT resourceId, CString type, int frames, BOOL fromApplication);

    // Font family by face name from the installed and privately registered fonts; null when unknown.
    Gdiplus::FontFamily* FindTempFont(const wchar_t* name);

    // ---- Input, keyboard, focus order, timers, balloon, caret and drop (the engine's message side) ----

    // Every message of the window after the owner's own handler; 0 lets the default procedure have it.
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Before dispatch: Tab and Shift+Tab move the focus (TRUE: the key is consumed); mouse messages reach
    // the tool tip.
    BOOL PreTranslateMessage(MSG* msg);

    BOOL OnMouseMove(UINT flags, CPoint pt);
    BOOL OnMouseLeave();
    BOOL OnLButtonDown(UINT flags, CPoint pt);
    BOOL OnLButtonUp(UINT flags, CPoint pt);
    BOOL OnLButtonDblClk(UINT flags, CPoint pt);
    BOOL OnRButtonDown(UINT flags, CPoint pt);
    BOOL OnRButtonUp(UINT flags, CPoint pt);
    BOOL OnRButtonDblClk(UINT flags, CPoint pt);
    // One OnScroll per whole notch of 120 at the screen point; TRUE when a control took a step.
    BOOL OnMouseWheel(UINT flags, short delta, CPoint screenPt);
    BOOL OnNcActivate(BOOL active);
    // TRUE when a control took the key; otherwise the default procedure sees it (Alt+F4, the system menu).
    BOOL OnKeyDown(UINT vk, LPARAM lParam);

    HWND SetCapture();
    BOOL ReleaseCapture();
    [[nodiscard]] BOOL IsCaptured() const noexcept { return m_bCaptured; }
    [[nodiscard]] MControl* GetHoverControl() const noexcept { return m_pHover; }
    // A left press that no control takes moves the window (default on).
    void EnableWndDrag(BOOL enable) noexcept { m_bWndDrag = enable; }
    [[nodiscard]] BOOL IsWndDragEnabled() const noexcept { return m_bWndDrag; }
    void SetCaptionRect(CRect rect) noexcept { m_rcCaption = rect; }
    void GetCaptionRect(CRect& rect) const noexcept { rect = m_rcCaption; }
    // Size limits of the window; 0 means no limit in that direction.
    void SetWindowMaxSize(int cx, int cy) noexcept { m_maxSize = {cx, cy}; }
    void SetWindowMixSize(int cx, int cy) noexcept { m_minSize = {cx, cy}; }
    void GetWindowMinSize(int& cx, int& cy) const noexcept;
    void GetWindowManSize(int& cx, int& cy) const noexcept;

    // Tab order: visible, enabled tab-stop controls after (before) the focus control, wrapping around.
    MControl* GetNextFocusableControl();
    MControl* GetPrevFocusableControl();

    // Control timers: window timers on the paint window whose ticks reach the control's OnTimer. A stopped
    // timer keeps its record and window timer id and restarts with them.
    BOOL SetTimer(MControl* control, UINT key, UINT elapse);
    BOOL KillTimer(MControl* control, UINT key);
    void KillTimer(MControl* control);
    void ClearTimers();
    void OnTimer(UINT id);

    // The master timer: one multimedia timer that ticks every control added with AddMTimer, on the timer
    // thread.
    void SetMTimer(UINT elapse);
    void KillMTimer(UINT id);
    void KillMTimer();
    BOOL DeleteMTimer(MControl* control);
    [[nodiscard]] UINT GetMTimerID() const noexcept { return m_nMTimerID; }
    using MMediaTimer::OnMTimer;
    void OnMTimer(UINT id) override;

    // The balloon: created on first use as a popup owned by the paint window.
    BOOL SetAirBladderMsg(const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type, AIRBLADDER_MODE mode);
    // With a non-zero owner id only that owner may hide the balloon; a show records the owner.
    BOOL ShowAirBladder(BOOL show, int owner);
    [[nodiscard]] MAirBladder* GetAirBladder() const noexcept { return m_pAirBladder.get(); }

    // The emulated caret of the focused text control, blinking on window timer 6553.
    void CreateCaret(HBITMAP bitmap, int width, int height);
    BOOL SetCaretPos(MControlFont* owner, int x, int y);
    BOOL ShowCaret(BOOL show);
    [[nodiscard]] MControlFont* GetCurrentCaretObject() const noexcept { return m_pCaretOwner; }
    [[nodiscard]] CRect GetCaretRect() const noexcept { return m_rcCaret; }
    void DrawCaret(HDC dc, const CRect& paintRect);

    // Drag and drop: the paint window as a drop target for bitmaps, DIBs, files and metafiles.
    BOOL InitDragDrop();
    bool OnDrop(FORMATETC* format, STGMEDIUM& medium, DWORD* effect) override;
    // The control drawn into a new bitmap (owned by the caller) of its size over a `background` fill.
    [[nodiscard]] HBITMAP GetDropBitmap(MControl* control, const CRect& rect, COLORREF background);
    [[nodiscard]] HBITMAP GenerateBitmap(MControl* control, const CRect& rect, COLORREF background);

    // A control is going away: its timers, its place among the master-timer controls and any hover, focus or
    // caret reference to it are dropped.
    void ForgetControl(MControl* control) noexcept;

  private:
    // One control timer; the record stays after KillTimer (control, key) for reuse.
    struct TimerInfo {
        HWND hwnd = nullptr;
        UINT key = 0;
        UINT windowTimerId = 0;
        BOOL stopped = FALSE;
        MControl* control = nullptr;  // not owned
    };
    BOOL ButtonDown(UINT flags, CPoint pt, bool right);
    BOOL ButtonUp(UINT flags, CPoint pt, bool right);
    BOOL ButtonDblClk(UINT flags, CPoint pt, bool right);
    // Hover control that is visible and takes the mouse, or null.
    [[nodiscard]] MControl* ResponsiveHover() const noexcept;
    void StartDrag();
    void InvalidateCaret();

    CRect m_rcCaption;
    SIZE m_maxSize = {0, 0};
    SIZE m_minSize = {0, 0};
    POINT m_ptDragStart = {0, 0};
    BOOL m_bDragArmed = FALSE;
    UniqueBitmap m_hDragBitmap;
    UINT m_nMTimerID = 0;
    UINT m_nLastTimerID = 4096;
    BOOL m_bActive = FALSE;
    BOOL m_bTracking = FALSE;
    BOOL m_bLButtonDown = FALSE;
    BOOL m_bLDblClk = FALSE;
    BOOL m_bRButtonDown = FALSE;
    BOOL m_bRDblClk = FALSE;
    BOOL m_bCaptured = FALSE;
    BOOL m_bWndDrag = TRUE;
    BOOL m_bFormatsListed = FALSE;
    MControl* m_pHover = nullptr;  // not owned: one of the controls
    std::unique_ptr<MAirBladder> m_pAirBladder;
    int m_nAirBladderOwner = 0;
    CRect m_rcCaret;
    BOOL m_bCaretPhase = FALSE;
    BOOL m_bCaretShown = FALSE;
    MControlFont* m_pCaretOwner = nullptr;  // not owned
    std::vector<TimerInfo> m_timers;
    RecursiveLock m_timerLock;
    RecursiveLock m_mtimerLock;
    std::vector<MControl*> m_controls;  // owned
    RecursiveLock m_controlLock;
    // ---- end of the message side ----

    void SetToolText(const wchar_t* text, BOOL activate) noexcept;

    struct ReleaseWindow {
        using pointer = HWND;
        void operator()(HWND h) const noexcept { ::DestroyWindow(h); }
    };

    MWindow* m_pOwner = nullptr;  // not owned
    HWND m_hPaintWnd = nullptr;
    BOOL m_bLayered = FALSE;
    MControl* m_pFocus = nullptr;  // not owned
    int m_nTooltipCtrlID = 0;
    std::unique_ptr<HWND, ReleaseWindow> m_hTooltip;
    std::vector<MControl*> m_mtimerControls;  // not owned
    std::map<std::wstring, std::unique_ptr<ImgResInfo>> m_imagesByName;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByAppId;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByLibId;
    std::map<std::wstring, std::unique_ptr<Gdiplus::FontFamily>> m_fonts;
    RecursiveLock m_imageLock;
    RecursiveLock m_fontLock;
};

}  // namespace Tessel
