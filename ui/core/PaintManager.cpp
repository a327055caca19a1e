// The engine's life cycle and the forwarding to the objects that hold each concern.

#include "core/PaintManager.h"

#include "controls/ControlFactory.h"
#include "controls/MControl.h"
#include "core/Manager.h"
#include "res/TesselResources.h"

#include <utility>

namespace Tessel {

PaintManager::PaintManager() noexcept
    : m_banner(m_window, m_fonts),
      m_caret(m_window),
      m_input(m_window, m_controls, m_access, m_tooltip),
      m_access(*this, m_areas, m_controls, m_input),
      m_compositor(m_window, m_background, m_areas, m_controls, m_access, m_banner, m_caret) {}

PaintManager::~PaintManager() {
    // The window, if it lives on, must not keep the mouse for a press that nothing will ever release.
    if (m_input.Captured())
        ReleaseCapture();
    DestroyData();
    // No tick may reach the master-timer controls once they start to go.
    KillMTimer();
    // Controls created before Init (or after DestroyData) still belong to the engine.
    ClearAllControls();
    ClearImgResInfo();
    ClearTempFont();
    // What is left outlives the engine (handed to the caller, or given the engine by hand): each control
    // forgets it, so that nothing it does later, its destruction included, reaches into the engine's freed
    // state.
    for (MControl* control : std::exchange(m_attached, {}))
        control->OnManagerGone();
}

void PaintManager::Init(HWND hwnd, MWindow* owner) noexcept {
    if (hwnd == nullptr || !::IsWindow(hwnd))
        return;
    if (hwnd != m_window.Handle()) {
        m_paintDC.reset();
        m_window.Attach(hwnd);
        m_paintDC = std::make_unique<WindowDC>(hwnd);
    }
    m_pOwner = owner;
    InitDragDrop();
    m_bInit = TRUE;
    m_nScrollVID = IDR_SCROLL_V_IMAGE;
    m_nScrollHID = IDR_SCROLL_H_IMAGE;
    AddGDITempFont(kLibraryFontId);
}

void PaintManager::DestroyData() {
    if (!m_bInit)
        return;
    m_background.SetImage(nullptr);
    m_access.Disconnect();
    m_paintDC.reset();
    KillMTimer();
    ClearTimers();
    ClearAreaControls();
    ClearControls();
    ClearImgResInfo();
    ClearTempFont();
    m_compositor.Release();
    m_shadow.Destroy();
    m_bInit = FALSE;
}

// ---- Controls ----

MControl* PaintManager::CreateControl(UINT list, MObject* parent, const wchar_t* className, UINT id,
                                      CRect rect, const wchar_t* text, int a, int b) {
    MControl* control = CreateControlByName(parent, className, id, rect, text, a, b);
    if (control == nullptr)
        return nullptr;
    control->SetManager(this);
    if (list == 0)
        m_areas.Add(control);
    else if (list == 1)
        m_controls.Add(control);
    m_access.Track(control);
    return control;
}

MControl* PaintManager::CreateArea(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                   const wchar_t* text, int a, int b) {
    return CreateControl(0, parent, className, id, rect, text, a, b);
}

MControl* PaintManager::CreateControl(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                      const wchar_t* text, int a, int b) {
    return CreateControl(1, parent, className, id, rect, text, a, b);
}

MControl* PaintManager::GetControl(UINT id) {
    MControl* found = m_controls.Find(id);
    return found != nullptr ? found : m_areas.Find(id);
}

void PaintManager::RemoveControl(MControl* control) {
    m_controls.Remove(control);
}

void PaintManager::ClearAreaControls() {
    m_areas.Clear();
}

void PaintManager::ClearControls() {
    m_controls.Clear();
}

void PaintManager::ClearAllControls() {
    ClearAreaControls();
    ClearControls();
}

void PaintManager::AttachControl(MControl* control) {
    if (control != nullptr)
        m_attached.insert(control);
}

void PaintManager::ForgetControl(MControl* control) noexcept {
    if (control == nullptr)
        return;
    m_attached.erase(control);
    m_timers.Forget(control);
    m_mtimerControls.RemoveAll(control);
    m_input.Forget(control);
    m_caret.Forget(control);
    m_access.Forget(control);
}

// ---- Accessibility ----

void PaintManager::SetAccessibleName(MControl* control, const wchar_t* name) {
    m_access.SetName(control, name);
}

void PaintManager::SetAccessibleRole(MControl* control, LONG role) {
    m_access.SetRole(control, role);
}

void PaintManager::SetAccessibleValue(MControl* control, const wchar_t* value) {
    m_access.SetValue(control, value);
}

void PaintManager::SetAccessibleChecked(MControl* control, BOOL checked) {
    m_access.SetChecked(control, checked != FALSE);
}

AccessibleDescription PaintManager::GetAccessibleDescription(MControl* control) {
    return m_access.Describe(control);
}

void PaintManager::SetFocusRing(MControl* control, const wchar_t* imageName) {
    m_access.SetFocusRing(control, imageName);
}

// ---- Drop shadow ----

void PaintManager::CreateShadow(BOOL show, bool) {
    if (MShadow::Initialize(Manager::GetInstance()))
        m_shadow.Create(m_window.Handle());
    SetShadowShow(show);
}

BOOL PaintManager::SetShadowImage(const wchar_t* fileName, CRect insets) {
    if (fileName == nullptr || *fileName == L'\0')
        return FALSE;
    return m_shadow.SetImage(fileName, insets);
}

BOOL PaintManager::SetShadowImage(UINT resourceId, CRect insets) {
    return m_shadow.SetImage(resourceId, insets);
}

void PaintManager::SetShadowShow(BOOL show) {
    m_bShadowShow = show ? TRUE : FALSE;
    m_shadow.Show(m_bShadowShow);
}

// ---- Banner, tool tip, balloon, caret ----

void PaintManager::SetMessage(CString text, CRect rect, MsgLevel level) {
    m_banner.SetMessage(text, rect, level);
}

void PaintManager::SetProgress(int percent, CString text, CRect rect) {
    m_banner.SetProgress(percent, text, rect);
}

void PaintManager::SetTooltip(const wchar_t* text, CRect) noexcept {
    m_tooltip.Set(m_window.Handle(), text);
}

void PaintManager::ClearTooltip() noexcept {
    m_tooltip.Clear(m_window.Handle());
}

BOOL PaintManager::SetAirBladderMsg(const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type,
                                    AIRBLADDER_MODE mode) {
    return m_balloon.SetMessage(m_window.Handle(), text, screenPt, type, mode);
}

BOOL PaintManager::ShowAirBladder(BOOL show, int owner) {
    return m_balloon.Show(show, owner);
}

void PaintManager::CreateCaret(HBITMAP bitmap, int width, int height) {
    m_caret.Create(bitmap, width, height);
}

BOOL PaintManager::SetCaretPos(MControlFont* owner, int x, int y) {
    return m_caret.SetPos(owner, x, y);
}

BOOL PaintManager::ShowCaret(BOOL show) {
    m_caret.Show(show);
    return TRUE;
}

void PaintManager::DrawCaret(HDC dc, const CRect& paintRect) {
    m_caret.Draw(dc, paintRect);
}

// ---- Images and fonts ----

ImgResInfo* PaintManager::AddImgResInfo(const wchar_t* name, int frames) {
    return m_images.Add(name, frames);
}

ImgResInfo* PaintManager::AddImgResInfo(UINT resourceId, CString type, int frames, BOOL fromApplication) {
    return m_images.Add(resourceId, type, frames, fromApplication != FALSE);
}

void PaintManager::ClearImgResInfo() {
    m_images.Clear();
}

void PaintManager::AddGDITempFont(UINT resourceId) {
    m_fonts.AddGdiFont(resourceId);
}

Gdiplus::FontFamily* PaintManager::AddTempFont(const wchar_t* name, const wchar_t* file) {
    return m_fonts.AddFile(name, file);
}

Gdiplus::FontFamily* PaintManager::AddTempFont(const wchar_t* name, UINT resourceId) {
    return m_fonts.AddResource(name, resourceId);
}

Gdiplus::FontFamily* PaintManager::FindTempFont(const wchar_t* name) {
    return m_fonts.Find(name);
}

void PaintManager::ClearTempFont() {
    m_fonts.Clear();
}

// ---- Timers ----

BOOL PaintManager::SetTimer(MControl* control, UINT key, UINT elapse) {
    return m_timers.Set(m_window.Handle(), control, key, elapse);
}

BOOL PaintManager::KillTimer(MControl* control, UINT key) {
    return m_timers.Kill(m_window.Handle(), control, key);
}

void PaintManager::KillTimer(MControl* control) {
    m_timers.Kill(m_window.Handle(), control);
}

void PaintManager::ClearTimers() {
    m_timers.Clear(m_window.Handle());
}

void PaintManager::OnTimer(UINT id) {
    if (id == kCaretTimer) {
        m_caret.Blink();
        return;
    }
    if (m_banner.OnTimer(id))
        return;
    m_timers.Tick(m_window.Handle(), id);
}

BOOL PaintManager::AddMTimer(MControl* control) {
    m_mtimerControls.Add(control);
    return TRUE;
}

void PaintManager::RemoveMTimer(MControl* control) {
    m_mtimerControls.RemoveAll(control);
}

BOOL PaintManager::DeleteMTimer(MControl* control) {
    return m_mtimerControls.RemoveFirst(control);
}

void PaintManager::SetMTimer(UINT elapse) {
    if (m_nMTimerID != 0)
        MMediaTimer::KillTimer(m_nMTimerID);
    m_nMTimerID = MMediaTimer::SetTimer(elapse, CString());
}

void PaintManager::KillMTimer(UINT id) {
    MMediaTimer::KillTimer(id);
    if (id == m_nMTimerID)
        m_nMTimerID = 0;
}

void PaintManager::KillMTimer() {
    MMediaTimer::KillTimer();
    m_nMTimerID = 0;
}

void PaintManager::OnMTimer(UINT id) {
    if (id == 0 || id != m_nMTimerID)
        return;
    m_mtimerControls.Tick();
}

}  // namespace Tessel
