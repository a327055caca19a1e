#pragma once

#include "controls/MObject.h"
#include "core/MAirBladder.h"
#include "core/MWindow.h"
#include "core/PaintManager.h"
#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>

#include <vector>

namespace Tessel {

class MControl;

// The library's close request: a dialog posts it to itself, and its wParam becomes the result of the modal
// run.
constexpr UINT WM_USER_CLOSE_WINDOW = WM_USER + 66;

// Base of every top-level window built with the library: a native window, the paint engine that draws and
// feeds its controls, and the owner object its controls report to. Derived windows create their controls in
// InitUI, lay them out in UISize and act on their notifications in OnMessage. The object never deletes
// itself; whoever created it deletes it once its window is gone.
class TESSEL_API MDialog : public MWindow, public MObject {
  public:
    MDialog() noexcept;
    ~MDialog() override;
    MDialog(const MDialog&) = delete;
    MDialog& operator=(const MDialog&) = delete;

    // MObject: controls report here.
    const wchar_t* GetClassNameW() override;
    LRESULT OnBaseMessage(UINT id, UINT event, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnControlUpdate(CRect rect, int discardCache, MControl* control) override;

    // MWindow.
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    void OnDestroyMessage(HWND hwnd) override;

    // The point on the control's bottom edge at its left end (type 0), centre (1) or right end (2), in screen
    // coordinates; (0, 0) without a control.
    virtual POINT GetAirBladderPoint(MControl* control, UINT type);
    virtual void OnMinimize();
    virtual void OnMaximize();
    virtual void InitUI(CRect client);
    virtual void UISize(CRect client);
    virtual LRESULT OnMessage(UINT id, UINT event, WPARAM wParam, LPARAM lParam);
    // The close request: posts WM_CLOSE with the same arguments. Override to refuse or delay the close.
    virtual LRESULT OnUserCloseWindow(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCreate(CREATESTRUCTW* create);
    virtual BOOL OnSize(UINT type, int cx, int cy);
    virtual BOOL OnMouseMove(UINT flags, CPoint pt);
    virtual BOOL OnMouseLeave(UINT flags, LPARAM lParam);
    virtual BOOL OnMouseHover(UINT flags, LPARAM lParam);
    virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint pt);
    virtual BOOL OnLButtonDown(UINT flags, CPoint pt);
    virtual BOOL OnLButtonUp(UINT flags, CPoint pt);
    virtual BOOL OnLButtonDblClk(UINT flags, CPoint pt);
    virtual BOOL OnRButtonDown(UINT flags, CPoint pt);
    virtual BOOL OnRButtonUp(UINT flags, CPoint pt);
    virtual BOOL OnRButtonDblClk(UINT flags, CPoint pt);
    virtual BOOL OnKeyDown(UINT vk, UINT repeat, UINT flags);
    virtual BOOL OnNcHitTest(CPoint pt);
    virtual BOOL OnGetMinMaxInfo(MINMAXINFO* info);
    virtual BOOL OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params);
    virtual BOOL OnNcActivate(BOOL active);
    virtual BOOL OnWindowPosChanging(WINDOWPOS* pos);
    virtual BOOL OnWindowPosChanged(WINDOWPOS* pos);
    virtual BOOL OnPaint();
    virtual void OnTimer(UINT id);
    virtual BOOL OnNcPaint();
    virtual BOOL OnClose();
    virtual BOOL OnDestroy();
    virtual BOOL PostNcDestroy();

    // Controls, created by class name and owned by the engine; null for an unknown name.
    MControl* CreateControl(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int a, int b);
    MControl* CreateArea(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int a, int b);
    [[nodiscard]] MControl* GetControl(UINT id);
    [[nodiscard]] std::vector<MControl*>* GetControls() noexcept;
    void SetFocusControl(MControl* control);
    [[nodiscard]] PaintManager& GetPaintManager() noexcept { return m_PaintManager; }

    // Appearance.
    BOOL LoadBKImage(CString name);
    BOOL LoadBKImage(UINT resourceId, CString type);
    void SetBackMode(enumBackMode mode, int corner);
    void SetLayeredWindow(BOOL layered);
    void EnableWndDrag(BOOL enable);
    void SetScrollResID(UINT vertical, UINT horizontal);
    // Whole-window opacity (alpha below 255) or a colour key (not 0xFFFFFF) through WS_EX_LAYERED.
    void SetupBackTranslucent();
    void SetConstantAlpha(int alpha) noexcept { m_nConstantAlpha = alpha; }
    void SetColorKey(COLORREF key) noexcept { m_clrColorKey = key; }
    void CreateShadow(BOOL show, bool flag);
    BOOL SetSize(int size);
    BOOL SetSharpness(UINT sharpness);
    BOOL SetDarkness(UINT darkness);
    BOOL SetPosition(int x, int y);
    BOOL SetShadowColor(COLORREF colour);
    BOOL SetShadowImage(const wchar_t* fileName, CRect insets);
    BOOL SetShadowImage(UINT resourceId, CRect insets);
    void SetShadowShow(BOOL show);

    // The engine's master timer.
    void SetMTimer(UINT elapse);
    void KillMTimer(UINT id);

    // Tips, balloon and banner.
    void SetTooltip(CString text, CRect rect);
    void ClearTooltip();
    void SetTooltipCtrlID(int id) noexcept { m_nTooltipCtrlID = id; }
    [[nodiscard]] int GetTooltipCtrlID() const noexcept { return m_nTooltipCtrlID; }
    // FALSE when either coordinate is 0; otherwise shows the balloon there.
    BOOL SetAirBladderMsg(const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type);
    // An empty rectangle means a band 200 pixels wide, centred, just above the bottom edge.
    void SetMessage(CString text, CRect rect, MsgLevel level);
    void SetProgress(int percent, CString text, CRect rect);
    void SetMessageOffset(int offset) noexcept { m_nMessageOffset = offset; }

    // Ending: each posts the close request with its result, only when the window exists.
    void DoOK();
    void DoCancel();
    void DoClose();
    void DoYes();
    void DoNo();

  protected:
    PaintManager m_PaintManager;
    COLORREF m_clrColorKey = 0xFFFFFF;
    int m_nConstantAlpha = 255;
    int m_nMessageOffset = 0;
    int m_nTooltipCtrlID = 0;
    CRect m_rcClient;

  private:
    void PostClose(WPARAM result);
};

}  // namespace Tessel
