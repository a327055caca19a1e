#include "core/MShadow.h"

#include "controls/MRender.h"
#include "core/Manager.h"
#include "core/ShadowRender.h"

#include <objidl.h>
#include <gdiplus.h>

namespace Tessel {

namespace {

// Size, sharpness and each offset lie within -35..35 (sharpness 0..35).
constexpr int kMaxExtent = 35;
constexpr wchar_t kShadowClass[] = L"TesselShadow";
constexpr wchar_t kImageResourceType[] = L"PNG";
// Layered and transparent together: the system passes clicks through to the windows beneath. It never takes
// the activation and has no taskbar button.
constexpr DWORD kShadowExStyle = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
constexpr UINT kBehindOwner = SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW;

// The module the class is registered for; the library runs its windows on one thread.
HINSTANCE g_registeredFor = nullptr;

bool InRange(int v) noexcept {
    return v >= -kMaxExtent && v <= kMaxExtent;
}

bool IsTopmost(HWND hwnd) noexcept {
    return (::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

}  // namespace

MShadow::MShadow() noexcept = default;

MShadow::~MShadow() = default;

BOOL MShadow::Initialize(HINSTANCE instance) noexcept {
    if (g_registeredFor != nullptr && instance == g_registeredFor)
        return TRUE;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    // Nothing to handle: the window shows what UpdateLayeredWindow gave it and never sees the mouse.
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = kShadowClass;
    if (::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return FALSE;
    g_registeredFor = instance;
    return TRUE;
}

void MShadow::Create(HWND owner) {
    Destroy();
    if (owner == nullptr || !::IsWindow(owner) || (::GetWindowLongPtrW(owner, GWL_STYLE) & WS_CHILD) != 0)
        return;
    m_window.reset(::CreateWindowExW(kShadowExStyle, kShadowClass, L"", WS_POPUP, 0, 0, 0, 0,
                                     ::GetWindow(owner, GW_OWNER), nullptr, Manager::GetInstance(), nullptr));
    if (!m_window)
        return;
    m_hOwner = owner;
    Update();
}

void MShadow::Destroy() noexcept {
    m_window.reset();
    m_surface.Release();
    m_hOwner = nullptr;
    m_bStale = true;
}

void MShadow::OnOwnerMessage(UINT msg) {
    if (msg == WM_WINDOWPOSCHANGED)
        Update();
}

BOOL MShadow::SetSize(int size) {
    if (!InRange(size))
        return FALSE;
    m_nSize = size;
    Changed();
    return TRUE;
}

BOOL MShadow::SetSharpness(UINT sharpness) {
    if (sharpness > static_cast<UINT>(kMaxExtent))
        return FALSE;
    m_nSharpness = sharpness;
    Changed();
    return TRUE;
}

BOOL MShadow::SetDarkness(UINT darkness) {
    if (darkness > 255)
        return FALSE;
    m_nDarkness = darkness;
    Changed();
    return TRUE;
}

BOOL MShadow::SetPosition(int x, int y) {
    if (!InRange(x) || !InRange(y))
        return FALSE;
    m_nX = x;
    m_nY = y;
    Changed();
    return TRUE;
}

BOOL MShadow::SetColor(COLORREF colour) {
    m_color = colour;
    Changed();
    return TRUE;
}

BOOL MShadow::SetImage(const wchar_t* fileName, CRect insets) {
    TakeInsets(insets);
    m_nImageID = 0;
    m_strImage = fileName;
    m_image.reset(m_strImage.IsEmpty() ? nullptr
                                       : MRender::LoadImageFromFile(Manager::GetSkinFolder() + m_strImage));
    if (!m_image)
        m_strImage.Empty();
    Changed();
    return m_image ? TRUE : FALSE;
}

BOOL MShadow::SetImage(UINT resourceId, CRect insets) {
    TakeInsets(insets);
    m_strImage.Empty();
    m_image.reset(MRender::LoadImageFromIDResource(resourceId, kImageResourceType, Manager::GetInstance()));
    m_nImageID = m_image ? resourceId : 0;
    Changed();
    return m_image ? TRUE : FALSE;
}

void MShadow::TakeInsets(const CRect& insets) noexcept {
    if (insets.left >= 0 && insets.top >= 0 && insets.right >= 0 && insets.bottom >= 0)
        m_rcInsets = insets;
}

void MShadow::Show(BOOL show) {
    m_bShown = show ? TRUE : FALSE;
    Update();
}

void MShadow::Disable(BOOL disable) {
    m_bDisabled = disable ? TRUE : FALSE;
    Update();
}

DWORD MShadow::GetPixel(int x, int y) const noexcept {
    if (m_surface.GetBits() == nullptr || x < 0 || y < 0 || x >= m_surface.Width() || y >= m_surface.Height())
        return 0;
    return m_surface.Row(y)[x];
}

void MShadow::Changed() {
    m_bStale = true;
    Update();
}

CRect MShadow::Bounds() const noexcept {
    CRect owner;
    ::GetWindowRect(m_hOwner, &owner);
    const CPoint offset(m_nX, m_nY);
    return m_image ? ImageShadowBounds(owner, m_rcInsets, m_nSize, offset)
                   : ShadowBounds(owner, m_nSize, m_nSharpness, offset);
}

void MShadow::Update() {
    HWND shadow = m_window.get();
    if (shadow == nullptr)
        return;
    const bool ownerShows = ::IsWindowVisible(m_hOwner) && !::IsIconic(m_hOwner);
    const CRect bounds = ownerShows && IsShown() ? Bounds() : CRect();
    if (bounds.IsRectEmpty()) {
        if (::IsWindowVisible(shadow))
            ::ShowWindow(shadow, SW_HIDE);
        return;
    }
    if ((m_bStale || bounds.Size() != CSize(m_surface.Width(), m_surface.Height())) && !Render(bounds)) {
        ::ShowWindow(shadow, SW_HIDE);
        return;
    }
    // Inserting after the owner puts the shadow just behind it, but only within the owner's band: topmost
    // windows lie above all others.
    const bool topmost = IsTopmost(m_hOwner);
    if (topmost != IsTopmost(shadow))
        ::SetWindowPos(shadow, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::SetWindowPos(shadow, m_hOwner, bounds.left, bounds.top, 0, 0, kBehindOwner);
}

bool MShadow::Render(const CRect& bounds) {
    if ((m_surface.Width() != bounds.Width() || m_surface.Height() != bounds.Height()) &&
        !m_surface.Create(nullptr, bounds.Width(), bounds.Height()))
        return false;
    if (m_image)
        RenderImageShadow(m_surface, m_image.get(), m_rcInsets);
    else
        RenderShadow(m_surface, m_nSharpness, static_cast<BYTE>(m_nDarkness), m_color);
    ++m_nRenders;
    m_bStale = false;
    WindowDC screen(nullptr);
    POINT place = {bounds.left, bounds.top};
    SIZE size = {bounds.Width(), bounds.Height()};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return ::UpdateLayeredWindow(m_window.get(), screen.get(), &place, &size, m_surface.GetDC(), &source, 0,
                                 &blend, ULW_ALPHA) != FALSE;
}

}  // namespace Tessel
