#pragma once

// The paint engine of one native window: it owns the window's lightweight controls, creates them by class
// name, keeps the caches of skin images and fonts, and paints background and controls into an off-screen
// 32-bit surface that goes to the screen by BitBlt or, for a layered window, by UpdateLayeredWindow.

#include "core/CIDropTarget.h"
#include "core/Handle.h"
#include "core/MAirBladder.h"
#include "core/MMediaTimer.h"
#include "core/MShadow.h"
#include "core/RecursiveLock.h"
#include "core/TesselApi.h"
#include "core/Types.h"
#include "res/TesselResources.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tessel {

// The TrueType font the library carries ("ttf" resource 106) and its family name.
inline constexpr UINT kLibraryFontId = IDR_LIBRARY_FONT;
inline constexpr wchar_t kLibraryFontName[] = L"Open Sans Semibold";

class MControl;
class MControlFont;
class MObject;
class MWindow;

// How the background image covers the client area; other values draw no image.
enum enumBackMode : int {
    BackModeStretch = 0,  // stretched over the whole client area
    BackModeFrame = 1,    // nine-part frame with corners of the corner size
};

// Kind of the transient message banner.
enum MsgLevel : int {
    MsgInfo = 0,
    MsgWarning = 1,
    MsgError = 2,
};

// One cached skin image: an image strip of `frames` equal states laid side by side.
struct ImgResInfo {
    std::unique_ptr<Gdiplus::Image> image;  // owned
    int frameWidth = 0;
    int height = 0;
    int frames = 0;
    CString name;
    UINT resourceId = 0;
};

class TESSEL_API PaintManager : public MMediaTimer, public CIDropTarget {
  public:
    PaintManager() noexcept;
    ~PaintManager() override;
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    // ---- Life cycle ----
    // Binds the engine to its window; a null or dead handle is ignored. Registers the library's own font.
    void Init(HWND hwnd, MWindow* owner) noexcept;
    // Frees controls, images, fonts and the background; runs once after Init, later calls do nothing.
    void DestroyData();
    [[nodiscard]] BOOL IsInitialized() const noexcept { return m_bInit; }
    [[nodiscard]] HWND GetPaintWnd() const noexcept { return m_hPaintWnd; }
    [[nodiscard]] HDC GetPaintDC() const noexcept { return m_hPaintDC; }
    [[nodiscard]] MWindow* GetMDialog() const noexcept { return m_pOwner; }  // not owned

    // ---- Controls ----
    // The factory: a control of the exact (case-sensitive) class name, with the engine set and InitControl
    // called. List 0 adds it to the area controls, 1 to the controls (the engine owns both); any other value
    // hands it to the caller. Null for an empty or unknown name.
    MControl* CreateControl(UINT list, MObject* parent, const wchar_t* className, UINT id, CRect rect,
                            const wchar_t* text, int a, int b);
    MControl* CreateArea(MObject* parent, const wchar_t* className, UINT id, CRect rect, const wchar_t* text,
                         int a, int b);
    MControl* CreateControl(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                            const wchar_t* text, int a, int b);
    // By id through the controls, then the areas, each with its children; null when there is none.
    [[nodiscard]] MControl* GetControl(UINT id);
    [[nodiscard]] std::vector<MControl*>* GetControls() noexcept { return &m_controls; }
    [[nodiscard]] std::vector<MControl*>* GetAreaControls() noexcept { return &m_areas; }
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
    [[nodiscard]] Gdiplus::Image* GetBKImage() const noexcept { return m_pBkImage.get(); }
    void SetBackMode(enumBackMode mode, int corner) noexcept;
    [[nodiscard]] enumBackMode GetBackMode() const noexcept { return m_backMode; }
    // Interior and frame colours used when there is no background image.
    void SetBackColor(COLORREF fill, COLORREF border) noexcept;
    [[nodiscard]] COLORREF GetBackColor() const noexcept { return m_fillColor; }
    // A layered window is repainted as a whole (per-pixel alpha through UpdateLayeredWindow).
    void SetLayeredWindow(BOOL layered) noexcept { m_bLayered = layered; }
    [[nodiscard]] BOOL IsLayered() const noexcept { return m_bLayered; }
    [[nodiscard]] BOOL IsLayeredWindow() const noexcept { return m_bLayered; }
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

    // WM_PAINT: background, controls and banner into the off-screen surface, then to the screen.
    BOOL OnPaint();
    // Background and every control into `dc` (a 32-bit surface of the client size).
    void DrawBackImage(Gdiplus::Graphics& g, CRect rect);
    void DrawControl(HDC& dc, CRect rect);
    // Pause after each paint, bounding the frame rate of animated controls; 15 ms unless changed.
    void SetPaintPacing(DWORD milliseconds) noexcept { m_nPaintPacing = milliseconds; }
    // The last painted frame: bottom-up 32-bit pixels of width × height; null before the first paint.
    [[nodiscard]] const BYTE* GetPaintBits(int& width, int& height) const noexcept;
    // One pixel (0xAARRGGBB, premultiplied) of the last frame in client coordinates; 0 outside it.
    [[nodiscard]] DWORD GetPaintPixel(int x, int y) const noexcept;

    // ---- Drop shadow ----
    void CreateShadow(BOOL show, bool flag);
    BOOL SetSize(int size);
    BOOL SetSharpness(UINT sharpness);
    BOOL SetDarkness(UINT darkness);
    BOOL SetPosition(int x, int y);
    BOOL SetShadowColor(COLORREF colour);
    BOOL SetShadowImage(const wchar_t* fileName, CRect insets);
    BOOL SetShadowImage(UINT resourceId, CRect insets);
    void SetShadowShow(BOOL show);
    void DisableShadow(BOOL disable);
    [[nodiscard]] BOOL IsShadowShown() const noexcept { return m_bShadowShow; }
    [[nodiscard]] const MShadow& GetShadow() const noexcept { return m_shadow; }

    // ---- Message banner ----
    // Window timers of the banner: hold, fade and progress animation.
    static constexpr UINT kBannerHoldTimer = 66;
    static constexpr UINT kBannerFadeTimer = 88;
    static constexpr UINT kBannerProgressTimer = 99;
    void SetMessage(CString text, CRect rect, MsgLevel level);
    void SetProgress(int percent, CString text, CRect rect);
    [[nodiscard]] const CString& GetBannerText() const noexcept { return m_strBanner; }
    [[nodiscard]] MsgLevel GetBannerLevel() const noexcept { return m_bannerLevel; }
    [[nodiscard]] int GetBannerAlpha() const noexcept { return m_nBannerAlpha; }
    void SetBannerAlpha(int alpha) noexcept { m_nBannerAlpha = alpha; }
    [[nodiscard]] int GetBannerProgress() const noexcept { return m_nBannerProgress; }
    void SetBannerProgress(int progress) noexcept { m_nBannerProgress = progress; }
    [[nodiscard]] int GetBannerTarget() const noexcept { return m_nBannerTarget; }
    [[nodiscard]] CRect GetBannerRect() const noexcept { return m_rcBanner; }

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

    // Controls ticked by the master timer; not owned. A control leaves the list when it is destroyed.
    BOOL AddMTimer(MControl* control);
    void RemoveMTimer(MControl* control);
    [[nodiscard]] const std::vector<MControl*>& GetMTimerControls() const noexcept {
        return m_mtimerControls;
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
    // ---- end of the message side ----

    void SetToolText(const wchar_t* text, BOOL activate) noexcept;
    Gdiplus::FontFamily* KeepFirstFamily(const wchar_t* name,
                                         std::unique_ptr<Gdiplus::PrivateFontCollection>);
    void DrawBanner(Gdiplus::Graphics& g);
    [[nodiscard]] bool BannerShown() const noexcept;
    bool EnsurePaintSurface(HDC reference, int width, int height) noexcept;
    void ReleasePaintSurface() noexcept;
    void PaintBackground(const CRect& client, const CRect& update);

    struct FontEntry {
        std::unique_ptr<Gdiplus::PrivateFontCollection> collection;  // backs a private family; may be null
        std::unique_ptr<Gdiplus::FontFamily> family;
    };

    MWindow* m_pOwner = nullptr;  // not owned
    BOOL m_bInit = FALSE;
    HWND m_hPaintWnd = nullptr;
    HDC m_hPaintDC = nullptr;  // GetDC of the paint window, released by DestroyData
    COLORREF m_fillColor = 0xC8C8C8;
    COLORREF m_borderColor = 0x646464;
    BOOL m_bLayered = FALSE;
    std::unique_ptr<Gdiplus::Image> m_pBkImage;
    int m_nBkWidth = 0;
    int m_nBkHeight = 0;
    MShadow m_shadow;
    BOOL m_bShadowShow = FALSE;
    CString m_strBanner;
    MsgLevel m_bannerLevel = MsgInfo;
    int m_nBannerAlpha = 0;
    int m_nBannerProgress = 0;
    int m_nBannerTarget = 0;
    CRect m_rcBanner;
    UINT m_nScrollVID = 0;
    UINT m_nScrollHID = 0;
    COLORREF m_defaultEnabledColor = 0x808080;
    std::vector<MControl*> m_areas;     // owned
    std::vector<MControl*> m_controls;  // owned
    RecursiveLock m_areaLock;
    RecursiveLock m_controlLock;
    RecursiveLock m_mtimerLock;
    enumBackMode m_backMode = BackModeStretch;
    int m_nCornerSize = 4;
    RecursiveLock m_timerLock;
    DWORD m_nPaintPacing = 15;
    // The off-screen surface of the last paint, kept for the next one of the same size.
    UniqueMemoryDC m_paintMemDC;
    UniqueBitmap m_paintBitmap;
    HGDIOBJ m_paintDisplaced = nullptr;  // the memory DC's own bitmap
    BYTE* m_pPaintBits = nullptr;        // owned by m_paintBitmap
    int m_nPaintWidth = 0;
    int m_nPaintHeight = 0;
    // The background as last rendered for the surface's size (same row order); rebuilt after any change of
    // the image, mode, colours or size, so that repaints only copy it.
    std::vector<DWORD> m_bkRendered;
    bool m_bBkRenderedValid = false;
    MControl* m_pFocus = nullptr;  // not owned
    int m_nTooltipCtrlID = 0;
    UniqueWindow m_hTooltip;
    std::vector<MControl*> m_mtimerControls;  // not owned
    std::map<std::wstring, std::unique_ptr<ImgResInfo>> m_imagesByName;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByAppId;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByLibId;
    RecursiveLock m_imageLock;
    std::map<std::wstring, FontEntry> m_fonts;
    std::vector<HANDLE> m_gdiFonts;  // AddFontMemResourceEx registrations
    RecursiveLock m_fontLock;
};

}  // namespace Tessel
