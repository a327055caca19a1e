#include "core/MDialog.h"

#include "controls/MControl.h"

#include <windowsx.h>

#include <algorithm>

namespace Tessel {

namespace {

CPoint PointOf(LPARAM lParam) noexcept {
    return CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
}

}  // namespace

MDialog::MDialog() noexcept = default;

MDialog::~MDialog() {
    // A window left behind would route its next message to an object that no longer exists.
    if (IsLive())
        DestroyWindow();
}

const wchar_t* MDialog::GetClassNameW() {
    return L"MDialog";
}

LRESULT MDialog::OnBaseMessage(UINT id, UINT event, WPARAM wParam, LPARAM lParam) {
    return OnMessage(id, event, wParam, lParam);
}

LRESULT MDialog::OnControlUpdate(CRect rect, int discardCache, MControl* control) {
    return m_PaintManager.OnControlUpdate(rect, discardCache, control);
}

LRESULT MDialog::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND)
        return 1;
    if (msg == WM_USER_CLOSE_WINDOW)
        return OnUserCloseWindow(wParam, lParam);
    const auto flags = static_cast<UINT>(wParam);
    switch (msg) {
        case WM_CREATE:
            OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
            break;
        case WM_SIZE:
            OnSize(flags, LOWORD(lParam), HIWORD(lParam));
            break;
        case WM_MOUSEMOVE:
            OnMouseMove(flags, PointOf(lParam));
            break;
        case WM_MOUSELEAVE:
            OnMouseLeave(flags, lParam);
            break;
        case WM_MOUSEHOVER:
            OnMouseHover(flags, lParam);
            break;
        case WM_LBUTTONDOWN:
            OnLButtonDown(flags, PointOf(lParam));
            break;
        case WM_LBUTTONUP:
            OnLButtonUp(flags, PointOf(lParam));
            break;
        case WM_LBUTTONDBLCLK:
            OnLButtonDblClk(flags, PointOf(lParam));
            break;
        case WM_RBUTTONDOWN:
            OnRButtonDown(flags, PointOf(lParam));
            break;
        case WM_RBUTTONUP:
            OnRButtonUp(flags, PointOf(lParam));
            break;
        case WM_RBUTTONDBLCLK:
            OnRButtonDblClk(flags, PointOf(lParam));
            break;
        case WM_NCACTIVATE:
            OnNcActivate(static_cast<BOOL>(wParam));
            break;
        case WM_WINDOWPOSCHANGING:
            OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam));
            break;
        case WM_WINDOWPOSCHANGED:
            OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(lParam));
            break;
        case WM_PAINT:
            OnPaint();
            break;
        case WM_TIMER:
            OnTimer(flags);
            break;
        case WM_CLOSE:
            OnClose();
            break;
        case WM_DESTROY:
            OnDestroy();
            break;
        default:
            break;
    }
    if (LRESULT handled = m_PaintManager.OnWindowMessage(msg, wParam, lParam))
        return handled;
    return MWindow::OnWindowMessage(msg, wParam, lParam);
}

BOOL MDialog::PreTranslateMessage(MSG* msg) {
    return m_PaintManager.PreTranslateMessage(msg) ? TRUE : FALSE;
}

BOOL MDialog::OnInitDialog() {
    // Creation failed: there is no window to build controls for.
    if (!IsLive())
        return FALSE;
    m_PaintManager.Init(m_hWnd, this);
    GetClientRect(&m_rcClient);
    InitUI(m_rcClient);
    return TRUE;
}

void MDialog::OnDestroyMessage(HWND hwnd) {
    if (hwnd == m_PaintManager.GetPaintWnd())
        m_PaintManager.DestroyData();
    PostNcDestroy();
}

POINT MDialog::GetAirBladderPoint(MControl* control, UINT type) {
    POINT pt = {0, 0};
    if (control == nullptr)
        return pt;
    CRect rect = control->GetRect();
    pt.y = rect.bottom;
    if (type == 1)
        pt.x = rect.left + (rect.right - rect.left) / 2;
    else if (type == 2)
        pt.x = rect.right;
    else
        pt.x = rect.left;
    ClientToScreen(&pt);
    return pt;
}

void MDialog::OnMinimize() {
    ShowWindow(SW_MINIMIZE);
}

void MDialog::OnMaximize() {
    ShowWindow(IsLive() && ::IsZoomed(m_hWnd) ? SW_RESTORE : SW_MAXIMIZE);
}

void MDialog::InitUI(CRect) {}

void MDialog::UISize(CRect) {}

LRESULT MDialog::OnMessage(UINT, UINT, WPARAM, LPARAM) {
    return 0;
}

LRESULT MDialog::OnUserCloseWindow(WPARAM wParam, LPARAM lParam) {
    PostMessageW(WM_CLOSE, wParam, lParam);
    return 1;
}

BOOL MDialog::OnCreate(CREATESTRUCTW*) {
    // Borderless: no caption or sizing frame; children and siblings are clipped.
    DWORD style = GetStyle();
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>((style & 0xFF3BFFFF) | 0x06000008));
    return TRUE;
}

BOOL MDialog::OnSize(UINT, int, int) {
    if (!(IsLive() && ::IsIconic(m_hWnd)))
        SetupBackTranslucent();
    GetClientRect(&m_rcClient);
    if (m_rcClient.Width() > 1 && m_rcClient.Height() > 1)
        UISize(m_rcClient);
    InvalidateRect(m_rcClient, FALSE);
    return 0;
}

BOOL MDialog::OnMouseMove(UINT, CPoint) {
    return 0;
}

BOOL MDialog::OnMouseLeave(UINT, LPARAM) {
    return 0;
}

BOOL MDialog::OnMouseHover(UINT, LPARAM) {
    return 0;
}

BOOL MDialog::OnMouseWheel(UINT, short, CPoint) {
    return 0;
}

BOOL MDialog::OnLButtonDown(UINT, CPoint) {
    return 0;
}

BOOL MDialog::OnLButtonUp(UINT, CPoint) {
    return 0;
}

BOOL MDialog::OnLButtonDblClk(UINT, CPoint) {
    return 0;
}

BOOL MDialog::OnRButtonDown(UINT, CPoint) {
    return 0;
}

BOOL MDialog::OnRButtonUp(UINT, CPoint) {
    return 0;
}

BOOL MDialog::OnRButtonDblClk(UINT, CPoint) {
    return 0;
}

BOOL MDialog::OnKeyDown(UINT, UINT, UINT) {
    return 0;
}

BOOL MDialog::OnNcHitTest(CPoint) {
    return 0;
}

BOOL MDialog::OnGetMinMaxInfo(MINMAXINFO*) {
    return 0;
}

BOOL MDialog::OnNcCalcSize(BOOL, NCCALCSIZE_PARAMS*) {
    return 0;
}

BOOL MDialog::OnNcActivate(BOOL) {
    return 0;
}

BOOL MDialog::OnWindowPosChanging(WINDOWPOS*) {
    return TRUE;
}

BOOL MDialog::OnWindowPosChanged(WINDOWPOS*) {
    return TRUE;
}

BOOL MDialog::OnPaint() {
    return 0;
}

void MDialog::OnTimer(UINT) {}

BOOL MDialog::OnNcPaint() {
    return 0;
}

BOOL MDialog::OnClose() {
    return TRUE;
}

BOOL MDialog::OnDestroy() {
    return 0;
}

BOOL MDialog::PostNcDestroy() {
    return 0;
}

MControl* MDialog::CreateControl(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int a,
                                 int b) {
    return m_PaintManager.CreateControl(1, this, className, id, rect, text, a, b);
}

MControl* MDialog::CreateArea(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int a,
                              int b) {
    return m_PaintManager.CreateControl(0, this, className, id, rect, text, a, b);
}

MControl* MDialog::GetControl(UINT id) {
    return m_PaintManager.GetControl(id);
}

std::vector<MControl*>* MDialog::GetControls() noexcept {
    return m_PaintManager.GetControls();
}

void MDialog::SetFocusControl(MControl* control) {
    m_PaintManager.SetFocusControl(control);
}

BOOL MDialog::LoadBKImage(CString name) {
    return m_PaintManager.LoadBKImage(name);
}

BOOL MDialog::LoadBKImage(UINT resourceId, CString type) {
    return m_PaintManager.LoadBKImage(resourceId, type);
}

void MDialog::SetBackMode(enumBackMode mode, int corner) {
    m_PaintManager.SetBackMode(mode, corner);
}

void MDialog::SetLayeredWindow(BOOL layered) {
    m_PaintManager.SetLayeredWindow(layered);
}

void MDialog::EnableWndDrag(BOOL enable) {
    m_PaintManager.EnableWndDrag(enable);
}

void MDialog::SetScrollResID(UINT vertical, UINT horizontal) {
    m_PaintManager.SetScrollResID(vertical, horizontal);
}

void MDialog::SetupBackTranslucent() {
    if (!IsLive())
        return;
    if (m_nConstantAlpha != 255) {
        ModifyExStyle(0, WS_EX_LAYERED, 0);
        auto alpha = static_cast<BYTE>(std::clamp(m_nConstantAlpha, 0, 255));
        ::SetLayeredWindowAttributes(m_hWnd, 0, alpha, LWA_ALPHA);
    } else if (m_clrColorKey != 0xFFFFFF) {
        ModifyExStyle(0, WS_EX_LAYERED, 0);
        ::SetLayeredWindowAttributes(m_hWnd, m_clrColorKey, 255, LWA_COLORKEY);
    }
}

void MDialog::CreateShadow(BOOL show, bool flag) {
    m_PaintManager.CreateShadow(show, flag);
}

BOOL MDialog::SetSize(int size) {
    return m_PaintManager.SetSize(size);
}

BOOL MDialog::SetSharpness(UINT sharpness) {
    return m_PaintManager.SetSharpness(sharpness);
}

BOOL MDialog::SetDarkness(UINT darkness) {
    return m_PaintManager.SetDarkness(darkness);
}

BOOL MDialog::SetPosition(int x, int y) {
    return m_PaintManager.SetPosition(x, y);
}

BOOL MDialog::SetShadowColor(COLORREF colour) {
    return m_PaintManager.SetShadowColor(colour);
}

BOOL MDialog::SetShadowImage(const wchar_t* fileName, CRect insets) {
    return m_PaintManager.SetShadowImage(fileName, insets);
}

BOOL MDialog::SetShadowImage(UINT resourceId, CRect insets) {
    return m_PaintManager.SetShadowImage(resourceId, insets);
}

void MDialog::SetShadowShow(BOOL show) {
    m_PaintManager.SetShadowShow(show);
}

void MDialog::SetMTimer(UINT elapse) {
    m_PaintManager.SetMTimer(elapse);
}

void MDialog::KillMTimer(UINT id) {
    m_PaintManager.KillMTimer(id);
}

void MDialog::SetTooltip(CString text, CRect rect) {
    m_PaintManager.SetTooltip(text, rect);
}

void MDialog::ClearTooltip() {
    m_PaintManager.ClearTooltip();
}

BOOL MDialog::SetAirBladderMsg(const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type) {
    if (screenPt.x == 0 || screenPt.y == 0)
        return FALSE;
    constexpr auto kMode = static_cast<AIRBLADDER_MODE>(AIRBLADDER_TOPMOST | AIRBLADDER_CLICK_HIDES);
    if (!m_PaintManager.SetAirBladderMsg(text, screenPt, type, kMode))
        return FALSE;
    // Shown without taking the activation, so the dialog keeps its hover and focus.
    m_PaintManager.GetAirBladder()->ShowWindow(SW_SHOWNOACTIVATE);
    return TRUE;
}

void MDialog::SetMessage(CString text, CRect rect, MsgLevel level) {
    if (rect.IsRectEmpty() || rect.IsRectNull()) {
        CRect client;
        GetClientRect(&client);
        int centre = (client.right - client.left) / 2;
        rect = CRect(centre - 100, client.bottom - 60, centre + 100, client.bottom - 2);
        rect.OffsetRect(0, m_nMessageOffset);
    }
    m_PaintManager.SetMessage(text, rect, level);
}

void MDialog::SetProgress(int percent, CString text, CRect rect) {
    m_PaintManager.SetProgress(percent, text, rect);
}

void MDialog::PostClose(WPARAM result) {
    if (IsHandleSet())
        PostMessageW(WM_USER_CLOSE_WINDOW, result, 0);
}

void MDialog::DoOK() {
    PostClose(IDOK);
}

void MDialog::DoCancel() {
    PostClose(IDCANCEL);
}

void MDialog::DoClose() {
    PostClose(IDCANCEL);
}

void MDialog::DoYes() {
    PostClose(IDYES);
}

void MDialog::DoNo() {
    PostClose(IDNO);
}

}  // namespace Tessel
