#pragma once

// The paint engine of one native window: it owns the window's lightweight controls, creates them by class
// name, keeps the caches of skin images and fonts, and paints background and controls into an off-screen
// 32-bit surface that goes to the screen by BitBlt or, for a layered window, by UpdateLayeredWindow.
//
// The engine holds one small object per concern and forwards to it: the control lists (ControlList), input
// and focus (InputRouter), control timers (ControlTimers), master-timer controls (MasterTimerControls),
// images (ImageCache), fonts (FontTable), the background (Background), the banner (Banner), the caret
// (Caret), the tool tip (Tooltip), the balloon (Balloon) and what assistive programs are told with the
// focus ring (AccessibleControls). Drag and drop sit beside CIDropTarget (DragSource, DropBitmap).

#include "core/AccessibleControls.h"
#include "core/Background.h"
#include "core/Balloon.h"
#include "core/Banner.h"
#include "core/CIDropTarget.h"
#include "core/Caret.h"
#include "core/ControlList.h"
#include "core/ControlTimers.h"
#include "core/DrawSurface.h"
#include "core/FontTable.h"
#include "core/FrameCompositor.h"
#include "core/ImageCache.h"
#include "core/InputRouter.h"
#include "core/MAirBladder.h"
#include "core/MMediaTimer.h"
#include "core/MShadow.h"
#include "core/MasterTimerControls.h"
#include "core/PaintWindow.h"
#include "core/TesselApi.h"
#include "core/Tooltip.h"
#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>
#include <unordered_set>
#include <vector>

namespace Tessel {

class MControl;
class MControlFont;
class MObject;
class MWindow;

class TESSEL_API PaintManager : public MMediaTimer, public CIDropTarget {
  public:
    PaintManager() noexcept;
    ~PaintManager() override;

    // ---- Life cycle ----
    // Binds the engine to its window; a null or dead handle is ignored. Registers the library's own font.
    void Init(HWND hwnd, MWindow* owner) noexcept;
    // Frees controls, images, fonts and the background; runs once after Init, later calls do nothing.
    void DestroyData();
    [[nodiscard]] BOOL IsInitialized() const noexcept { return m_bInit; }
    [[nodiscard]] HWND GetPaintWnd() const noexcept { return m_window.Handle(); }
    [[nodiscard]] HDC GetPaintDC() const noexcept { return m_paintDC ? m_paintDC->get() : nullptr; }
    [[nodiscard]] MWindow* GetMDialog() const noexcept { return m_pOwner; }  // not owned

    // ---- Controls ----
    // The factory (see ControlFactory.h for the class names and what `text`, `a` and `b` mean to each): a
    // control of the exact (case-sensitive) class name, with the engine set and InitControl called. List 0
    // adds it to the area controls, 1 to the controls (the engine owns both); any other value hands it to the
    // caller. Null for an empty or unknown name.
    MControl* CreateControl(UINT list, MObject* parent, const wchar_t* className, UINT id, CRect rect,
                            const wchar_t* text, int a, int b);
    MControl* CreateArea(MObject* parent, const wchar_t* className, UINT id, CRect rect, const wchar_t* text,
                         int a, int b);
    MControl* CreateControl(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                            const wchar_t* text, int a, int b);
    // By id through the controls, then the areas, each with its children; null when there is none.
    [[nodiscard]] MControl* GetControl(UINT id);
    [[nodiscard]] std::vector<MControl*>* GetControls() noexcept { return &m_controls.Items(); }
    [[nodiscard]] std::vector<MControl*>* GetAreaControls() noexcept { return &m_areas.Items(); }
    // Deletes a control of the controls list; area controls and unknown pointers are left alone.
    void RemoveControl(MControl* control);
    void ClearAreaControls();
    void ClearControls();
    void ClearAllControls();
    // A control's look changed: repaints its rectangle and refreshes the controls above it.
    LRESULT OnControlUpdate(CRect rect, BOOL discardCache, MControl* control);

    // ---- Background and painting ----
    // The background image from the skin folder or from an application resource; FALSE (and no background
    // image) when it cannot be loaded.
    BOOL LoadBKImage(CString name);
    BOOL LoadBKImage(UINT resourceId, CString type);
    [[nodiscard]] bool HasBKImage() const noexcept { return m_background.HasImage(); }
    void SetBackMode(enumBackMode mode, int corner) noexcept;
    [[nodiscard]] enumBackMode GetBackMode() const noexcept { return m_background.Mode(); }
    // Interior and frame colours used when there is no background image.
    void SetBackColor(COLORREF fill, COLORREF border) noexcept;
    [[nodiscard]] COLORREF GetBackColor() const noexcept { return m_background.FillColor(); }
    // A layered window shows per-pixel alpha through UpdateLayeredWindowIndirect.
    void SetLayeredWindow(BOOL layered) noexcept { m_compositor.SetLayered(layered); }
    [[nodiscard]] BOOL IsLayered() const noexcept { return m_compositor.Layered(); }
    void Invalidate() noexcept;
    void InvalidateRect(CRect rect, BOOL erase) noexcept;
    void GetClientRect(CRect& rect) const noexcept;
    void GetWindowRect(CRect& rect) const noexcept;
    void GetClientSize(int& width, int& height) const noexcept;
    void SetScrollResID(UINT vertical, UINT horizontal) noexcept;
    [[nodiscard]] UINT GetScrollVID() const noexcept { return m_nScrollVID; }
    [[nodiscard]] UINT GetScrollHID() const noexcept { return m_nScrollHID; }
    void SetDefaultEnabledColor(COLORREF colour) noexcept { m_defaultEnabledColor = colour; }
    [[nodiscard]] COLORREF GetDefaultEnabledColor() const noexcept { return m_defaultEnabledColor; }
    LRESULT SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

    // WM_PAINT: background, controls and banner into the off-screen frame, then to the screen
    // (FrameCompositor).
    BOOL OnPaint();
    // Background and every control into `dc` (a 32-bit surface of the client size).
    void DrawBackImage(Gdiplus::Graphics& g, CRect rect);
    void DrawControl(HDC& dc, CRect rect);
    // Pause after each paint, bounding the frame rate of animated controls; 15 ms unless changed.
    void SetPaintPacing(DWORD milliseconds) noexcept { m_compositor.SetPacing(milliseconds); }
    // The last painted frame: bottom-up 32-bit pixels of width × height; null before the first paint.
    [[nodiscard]] const BYTE* GetPaintBits(int& width, int& height) const noexcept;
    // One pixel (0xAARRGGBB, premultiplied) of the last frame in client coordinates; 0 outside it.
    [[nodiscard]] DWORD GetPaintPixel(int x, int y) const noexcept;

    // ---- Drop shadow (see MShadow.h for its window, drawing and defaults) ----
    // Registers the shadow's window class for Manager's module and makes the shadow of the paint window,
    // shown with it or not; the flag is not used.
    void CreateShadow(BOOL show, bool flag);
    BOOL SetSize(int size) { return m_shadow.SetSize(size); }
    BOOL SetSharpness(UINT sharpness) { return m_shadow.SetSharpness(sharpness); }
    BOOL SetDarkness(UINT darkness) { return m_shadow.SetDarkness(darkness); }
    BOOL SetPosition(int x, int y) { return m_shadow.SetPosition(x, y); }
    BOOL SetShadowColor(COLORREF colour) { return m_shadow.SetColor(colour); }
    BOOL SetShadowImage(const wchar_t* fileName, CRect insets);
    BOOL SetShadowImage(UINT resourceId, CRect insets);
    void SetShadowShow(BOOL show);
    void DisableShadow(BOOL disable) { m_shadow.Disable(disable); }
    [[nodiscard]] BOOL IsShadowShown() const noexcept { return m_bShadowShow; }
    [[nodiscard]] const MShadow& GetShadow() const noexcept { return m_shadow; }

    // ---- Message banner (window timers kBannerHoldTimer, kBannerFadeTimer, kBannerProgressTimer) ----
    void SetMessage(CString text, CRect rect, MsgLevel level);
    void SetProgress(int percent, CString text, CRect rect);
    [[nodiscard]] const CString& GetBannerText() const noexcept { return m_banner.Text(); }
    [[nodiscard]] MsgLevel GetBannerLevel() const noexcept { return m_banner.Level(); }
    [[nodiscard]] int GetBannerAlpha() const noexcept { return m_banner.Alpha(); }
    void SetBannerAlpha(int alpha) noexcept { m_banner.SetAlpha(alpha); }
    [[nodiscard]] int GetBannerProgress() const noexcept { return m_banner.Progress(); }
    void SetBannerProgress(int progress) noexcept { m_banner.SetProgressValue(progress); }
    [[nodiscard]] int GetBannerTarget() const noexcept { return m_banner.Target(); }
    [[nodiscard]] CRect GetBannerRect() const noexcept { return m_banner.Rect(); }

    // The old focus control loses its focus, the new one gains it.
    void SetFocusControl(MControl* control);
    [[nodiscard]] MControl* GetFocusControl() const noexcept { return m_input.Focus(); }

    // ---- Accessibility (see AccessibleControls.h) ----
    // What assistive programs are told about a control. A null or empty text, or role 0, leaves that part to
    // the control's class; the role is one of MSAA's ROLE_SYSTEM_* values.
    void SetAccessibleName(MControl* control, const wchar_t* name);
    void SetAccessibleRole(MControl* control, LONG role);
    void SetAccessibleValue(MControl* control, const wchar_t* value);
    void SetAccessibleChecked(MControl* control, BOOL checked);
    [[nodiscard]] AccessibleDescription GetAccessibleDescription(MControl* control);
    // A skin image drawn centred over the control while the keyboard has moved the focus to it.
    void SetFocusRing(MControl* control, const wchar_t* imageName);

    // One tool tip per window, shown over the whole client area; the rectangle is not used.
    void SetTooltip(const wchar_t* text, CRect rect) noexcept;
    void ClearTooltip() noexcept;
    // Id of the control whose tip is shown, so that moving within it does not show the tip again.
    void SetTooltipCtrlID(int id) noexcept { m_tooltip.SetControlId(id); }
    [[nodiscard]] int GetTooltipCtrlID() const noexcept { return m_tooltip.ControlId(); }
    [[nodiscard]] HWND GetTooltipWnd() const noexcept { return m_tooltip.Window(); }

    // Controls ticked by the master timer; not owned. A control leaves the list when it is destroyed.
    BOOL AddMTimer(MControl* control);
    void RemoveMTimer(MControl* control);
    [[nodiscard]] const std::vector<MControl*>& GetMTimerControls() const noexcept {
        return m_mtimerControls.Controls();
    }

    // ---- Image caches ----
    // Skin images, loaded once per name (relative to the skin folder) or resource id; null when the image
    // cannot be had, and a later call tries again.
    ImgResInfo* AddImgResInfo(const wchar_t* name, int frames);
    ImgResInfo* AddImgResInfo(UINT resourceId, CString type, int frames, BOOL fromApplication);
    void ClearImgResInfo();

    // ---- Fonts ----
    // Registers the library's "ttf" resource for the process (GDI); a missing resource does nothing.
    void AddGDITempFont(UINT resourceId);
    // The first family of a font file or of the library's "ttf" resource, kept under `name`; null on failure.
    Gdiplus::FontFamily* AddTempFont(const wchar_t* name, const wchar_t* file);
    Gdiplus::FontFamily* AddTempFont(const wchar_t* name, UINT resourceId);
    // Font family by face name from the installed and privately registered fonts; null when unknown.
    Gdiplus::FontFamily* FindTempFont(const wchar_t* name);
    void ClearTempFont();

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
    [[nodiscard]] BOOL IsCaptured() const noexcept { return m_input.Captured(); }
    [[nodiscard]] MControl* GetHoverControl() const noexcept { return m_input.Hover(); }
    // A left press that no control takes moves the window (default on).
    void EnableWndDrag(BOOL enable) noexcept { m_input.EnableWindowDrag(enable); }
    [[nodiscard]] BOOL IsWndDragEnabled() const noexcept { return m_input.WindowDrag(); }
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
    // timer keeps its record and window timer id and restarts with them (ids: see ControlTimers.h).
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
    [[nodiscard]] MAirBladder* GetAirBladder() const noexcept { return m_balloon.Window(); }

    // The emulated caret of the focused text control, blinking on window timer kCaretTimer.
    void CreateCaret(HBITMAP bitmap, int width, int height);
    BOOL SetCaretPos(MControlFont* owner, int x, int y);
    BOOL ShowCaret(BOOL show);
    [[nodiscard]] MControlFont* GetCurrentCaretObject() const noexcept { return m_caret.Owner(); }
    [[nodiscard]] CRect GetCaretRect() const noexcept { return m_caret.Rect(); }
    void DrawCaret(HDC dc, const CRect& paintRect);

    // Drag and drop: the paint window as a drop target for bitmaps, DIBs, files and metafiles.
    BOOL InitDragDrop();
    bool OnDrop(FORMATETC* format, STGMEDIUM& medium, DWORD* effect) override;
    // The control drawn into a new bitmap (owned by the caller) of its size over a `background` fill.
    [[nodiscard]] HBITMAP GetDropBitmap(MControl* control, const CRect& rect, COLORREF background);
    [[nodiscard]] HBITMAP GenerateBitmap(MControl* control, const CRect& rect, COLORREF background);

    // A control took this engine as its manager (MControl::SetManager). When the engine goes, every such
    // control still alive is told so (MControl::OnManagerGone) and keeps no pointer to it.
    void AttachControl(MControl* control);
    // A control is going away or takes another engine: its timers, its place among the master-timer controls
    // and any hover, focus or caret reference to it are dropped.
    void ForgetControl(MControl* control) noexcept;

  private:
    MWindow* m_pOwner = nullptr;  // not owned
    BOOL m_bInit = FALSE;
    PaintWindow m_window;
    std::unique_ptr<WindowDC> m_paintDC;  // GetDC of the paint window, released by DestroyData
    CRect m_rcCaption;
    SIZE m_maxSize = {0, 0};
    SIZE m_minSize = {0, 0};
    UINT m_nScrollVID = 0;
    UINT m_nScrollHID = 0;
    COLORREF m_defaultEnabledColor = 0x808080;
    UINT m_nMTimerID = 0;
    BOOL m_bFormatsListed = FALSE;
    MShadow m_shadow;
    BOOL m_bShadowShow = FALSE;

    ControlList m_areas;
    ControlList m_controls;
    MasterTimerControls m_mtimerControls;
    ControlTimers m_timers;
    ImageCache m_images;
    FontTable m_fonts;
    Background m_background;
    Banner m_banner;
    Caret m_caret;
    Tooltip m_tooltip;
    Balloon m_balloon;
    InputRouter m_input;
    // Every live control whose manager this engine is, owned or not: the controls of both lists, those
    // handed to the caller, and those given the engine by hand. Window thread only, as they are made there.
    std::unordered_set<MControl*> m_attached;
    AccessibleControls m_access;
    FrameCompositor m_compositor;
};

}  // namespace Tessel
