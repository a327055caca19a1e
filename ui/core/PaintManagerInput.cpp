// The engine's message side: mouse, keyboard, focus order, control and master timers, the balloon, the
// emulated caret and the drop target.

#include "controls/MControl.h"
#include "controls/MControlFont.h"
#include "core/PaintManager.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace Tessel {

namespace {

constexpr UINT kCaretTimer = 6553;
constexpr UINT kTimerIdCycle = 240;
constexpr int kHoverTime = 400;
constexpr int kDragThreshold = 2;
const CPoint kNowhere(-1, -1);

// Window timer ids that the engine keeps for itself and never hands to a control.
bool IsReservedTimerId(UINT id) noexcept {
    return id == 0 || id == 66 || id == 88 || id == 99;
}

CPoint PointOf(LPARAM lParam) noexcept {
    return CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
}

bool KeyHeld(int vk) noexcept {
    return (::GetKeyState(vk) & 0x8000) != 0;
}

// A 32-bit top-down bitmap of cx × cy; null on failure or for an empty size.
HBITMAP CreateSurfaceBitmap(HDC reference, int cx, int cy) {
    if (cx <= 0 || cy <= 0)
        return nullptr;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return ::CreateDIBSection(reference, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// A packed DIB as dropped: the header, its colour table and the pixels must all lie inside the block.
HBITMAP BitmapFromPackedDib(HGLOBAL block) {
    SIZE_T size = ::GlobalSize(block);
    const auto* info = static_cast<const BITMAPINFO*>(::GlobalLock(block));
    if (info == nullptr)
        return nullptr;
    HBITMAP result = nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (size >= sizeof(BITMAPINFOHEADER) && h.biSize >= sizeof(BITMAPINFOHEADER) && h.biSize <= size &&
        h.biWidth > 0 && h.biWidth <= 32768 && h.biHeight != 0 && std::abs(h.biHeight) <= 32768 &&
        h.biPlanes == 1 && (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS)) {
        SIZE_T colours =
            h.biClrUsed != 0 ? h.biClrUsed : (h.biBitCount <= 8 ? (SIZE_T{1} << h.biBitCount) : 0);
        if (h.biCompression == BI_BITFIELDS && h.biSize == sizeof(BITMAPINFOHEADER))
            colours += 3;
        SIZE_T stride = ((static_cast<SIZE_T>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
        SIZE_T pixels = stride * static_cast<SIZE_T>(std::abs(h.biHeight));
        SIZE_T offset = h.biSize + colours * sizeof(RGBQUAD);
        if (h.biBitCount != 0 && colours <= 256 + 3 && offset <= size && pixels <= size - offset) {
            HDC screen = ::GetDC(nullptr);
            result = ::CreateDIBitmap(screen, &h, CBM_INIT, reinterpret_cast<const BYTE*>(info) + offset,
                                      info, DIB_RGB_COLORS);
            ::ReleaseDC(nullptr, screen);
        }
    }
    ::GlobalUnlock(block);
    return result;
}

HBITMAP BitmapFromFirstFile(HDROP drop) {
    UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0 || length > 32767)
        return nullptr;
    std::wstring path(length + 1, L'\0');
    if (::DragQueryFileW(drop, 0, path.data(), length + 1) == 0)
        return nullptr;
    path.resize(length);
    Gdiplus::Bitmap image(path.c_str());
    HBITMAP result = nullptr;
    if (image.GetLastStatus() != Gdiplus::Ok ||
        image.GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &result) != Gdiplus::Ok)
        return nullptr;
    return result;
}

HBITMAP BitmapFromMetafile(HENHMETAFILE metafile) {
    ENHMETAHEADER header = {};
    if (::GetEnhMetaFileHeader(metafile, sizeof(header), &header) == 0)
        return nullptr;
    RECT bounds = {0, 0, header.rclBounds.right - header.rclBounds.left + 1,
                   header.rclBounds.bottom - header.rclBounds.top + 1};
    if (bounds.right <= 0 || bounds.bottom <= 0 || bounds.right > 32768 || bounds.bottom > 32768)
        return nullptr;
    HDC screen = ::GetDC(nullptr);
    UniqueMemoryDC dc(::CreateCompatibleDC(screen));
    UniqueBitmap bitmap(CreateSurfaceBitmap(screen, bounds.right, bounds.bottom));
    ::ReleaseDC(nullptr, screen);
    if (!dc || !bitmap)
        return nullptr;
    HGDIOBJ displaced = ::SelectObject(dc.get(), bitmap.get());
    ::PatBlt(dc.get(), 0, 0, bounds.right, bounds.bottom, WHITENESS);
    ::PlayEnhMetaFile(dc.get(), metafile, &bounds);
    ::SelectObject(dc.get(), displaced);
    return bitmap.release();
}

// What a control's image drag carries: the bitmap as CF_BITMAP and as an enhanced metafile, plus whatever the
// shell's drag-image helper stores on it.
class DragData final : public IDataObject {
  public:
    DragData(HBITMAP bitmap, HENHMETAFILE metafile) noexcept : bitmap_(bitmap), metafile_(metafile) {}
    ~DragData() {
        for (auto& [format, medium] : stored_)
            ::ReleaseStgMedium(&medium);
    }
    DragData(const DragData&) = delete;
    DragData& operator=(const DragData&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr)
            return E_INVALIDARG;
        *medium = {};
        if (format->cfFormat == CF_BITMAP && (format->tymed & TYMED_GDI) != 0 && bitmap_ != nullptr) {
            medium->tymed = TYMED_GDI;
            medium->hBitmap = static_cast<HBITMAP>(::CopyImage(bitmap_, IMAGE_BITMAP, 0, 0, 0));
            return medium->hBitmap != nullptr ? S_OK : E_OUTOFMEMORY;
        }
        if (format->cfFormat == CF_ENHMETAFILE && (format->tymed & TYMED_ENHMF) != 0 && metafile_) {
            medium->tymed = TYMED_ENHMF;
            medium->hEnhMetaFile = ::CopyEnhMetaFileW(metafile_.get(), nullptr);
            return medium->hEnhMetaFile != nullptr ? S_OK : E_OUTOFMEMORY;
        }
        for (auto& [stored, held] : stored_) {
            if (stored.cfFormat == format->cfFormat && held.tymed == TYMED_HGLOBAL &&
                (format->tymed & TYMED_HGLOBAL) != 0) {
                SIZE_T size = ::GlobalSize(held.hGlobal);
                HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
                void* to = copy ? ::GlobalLock(copy) : nullptr;
                void* from = ::GlobalLock(held.hGlobal);
                if (to != nullptr && from != nullptr)
                    memcpy(to, from, size);
                if (from != nullptr)
                    ::GlobalUnlock(held.hGlobal);
                if (to == nullptr) {
                    if (copy != nullptr)
                        ::GlobalFree(copy);
                    return E_OUTOFMEMORY;
                }
                ::GlobalUnlock(copy);
                medium->tymed = TYMED_HGLOBAL;
                medium->hGlobal = copy;
                return S_OK;
            }
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (format == nullptr)
            return E_INVALIDARG;
        if ((format->cfFormat == CF_BITMAP && (format->tymed & TYMED_GDI) != 0) ||
            (format->cfFormat == CF_ENHMETAFILE && (format->tymed & TYMED_ENHMF) != 0))
            return S_OK;
        for (auto& [stored, held] : stored_) {
            if (stored.cfFormat == format->cfFormat && (format->tymed & held.tymed) != 0)
                return S_OK;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out != nullptr)
            out->ptd = nullptr;
        return E_NOTIMPL;
    }
    // The drag-image helper keeps its own blocks here; only global memory is taken.
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
        if (format == nullptr || medium == nullptr || medium->tymed != TYMED_HGLOBAL || !release)
            return E_NOTIMPL;
        for (auto& [stored, held] : stored_) {
            if (stored.cfFormat == format->cfFormat) {
                ::ReleaseStgMedium(&held);
                held = *medium;
                return S_OK;
            }
        }
        stored_.emplace_back(*format, *medium);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (out == nullptr)
            return E_INVALIDARG;
        if (direction != DATADIR_GET)
            return E_NOTIMPL;
        std::vector<FORMATETC> formats = {{CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI},
                                          {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF}};
        for (auto& [stored, held] : stored_)
            formats.push_back(stored);
        return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  private:
    struct MetafileTraits {
        using pointer = HENHMETAFILE;
        void operator()(HENHMETAFILE h) const noexcept { ::DeleteEnhMetaFile(h); }
    };
    LONG refs_ = 1;
    HBITMAP bitmap_;  // not owned: the engine's drag bitmap outlives the drag
    std::unique_ptr<HENHMETAFILE, MetafileTraits> metafile_;
    std::vector<std::pair<FORMATETC, STGMEDIUM>> stored_;
};

class DragSource final : public IDropSource {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDropSource) {
            *object = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of the drag.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape)
            return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) == 0 ? DRAGDROP_S_DROP : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// The bitmap played into an enhanced metafile of its size.
HENHMETAFILE MetafileOf(HBITMAP bitmap) {
    BITMAP info = {};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(info), &info) == 0)
        return nullptr;
    HDC recorder = ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    if (recorder == nullptr)
        return nullptr;
    HDC screen = ::GetDC(nullptr);
    UniqueMemoryDC source(::CreateCompatibleDC(screen));
    ::ReleaseDC(nullptr, screen);
    if (source) {
        HGDIOBJ displaced = ::SelectObject(source.get(), bitmap);
        ::BitBlt(recorder, 0, 0, info.bmWidth, info.bmHeight, source.get(), 0, 0, SRCCOPY);
        ::SelectObject(source.get(), displaced);
    }
    return ::CloseEnhMetaFile(recorder);
}

}  // namespace

// ---- Messages ----

LRESULT PaintManager::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    {
        LockGuard guard(m_controlLock);
        for (size_t i = 0; i < m_controls.size(); ++i) {
            if (m_controls[i]->OnWindowMessage(msg, wParam, lParam))
                return 0;
        }
    }
    switch (msg) {
        case WM_DESTROY:
            // OLE keeps the target until it is revoked, and only a live window can be revoked.
            RevokeTarget();
            return 1;
        case WM_PAINT:
            return OnPaint() ? 1 : 0;
        case WM_NCDESTROY:
            DestroyData();
            return 1;
        case WM_CREATE:
        case WM_SIZE:
        case WM_CHAR:
        case WM_MOUSEHOVER:
            return 1;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            if (info == nullptr)
                return 1;
            if (m_minSize.cx > 0)
                info->ptMinTrackSize.x = m_minSize.cx;
            if (m_minSize.cy > 0)
                info->ptMinTrackSize.y = m_minSize.cy;
            if (m_maxSize.cx > 0)
                info->ptMaxTrackSize.x = info->ptMaxSize.x = m_maxSize.cx;
            if (m_maxSize.cy > 0)
                info->ptMaxTrackSize.y = info->ptMaxSize.y = m_maxSize.cy;
            return 1;
        }
        case WM_NCACTIVATE:
            return OnNcActivate(static_cast<BOOL>(wParam)) ? 1 : 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return OnKeyDown(static_cast<UINT>(wParam), lParam) ? 1 : 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            return 0;
        case WM_COMMAND:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            // Native child windows handle their own notifications as reflected messages.
            if (lParam != 0)
                return ::SendMessageW(reinterpret_cast<HWND>(lParam), msg + 0x2000, wParam, lParam);
            return 0;
        case WM_TIMER:
            OnTimer(static_cast<UINT>(wParam));
            return 0;
        case WM_MOUSEMOVE:
            return OnMouseMove(static_cast<UINT>(wParam), PointOf(lParam)) ? 1 : 0;
        case WM_LBUTTONDOWN:
            return OnLButtonDown(static_cast<UINT>(wParam), PointOf(lParam)) ? 1 : 0;
        case WM_LBUTTONUP:
            return OnLButtonUp(static_cast<UINT>(wParam), PointOf(lParam)) ? 1 : 0;
        case WM_LBUTTONDBLCLK:
            return OnLButtonDblClk(static_cast<UINT>(wParam), PointOf(lParam)) ? 1 : 0;
        case WM_RBUTTONDOWN:
            return OnRButtonDown(static_cast<UINT>(wParam), PointOf(lParam)) ? 1 : 0;
        case WM_RBUTTONUP:
            return OnRButtonUp(static_cast<UINT>(wParam), PointOf(lParam)) ? 1 : 0;
        case WM_RBUTTONDBLCLK:
            return OnRButtonDblClk(static_cast<UINT>(wParam), PointOf(lParam)) ? 1 : 0;
        case WM_MOUSEWHEEL:
            return OnMouseWheel(GET_KEYSTATE_WPARAM(wParam), GET_WHEEL_DELTA_WPARAM(wParam), PointOf(lParam))
                       ? 1
                       : 0;
        case WM_MOUSELEAVE:
            return OnMouseLeave() ? 1 : 0;
        default:
            return 0;
    }
}

BOOL PaintManager::PreTranslateMessage(MSG* msg) {
    // Only messages of this window (or of native children inside it) concern its engine.
    if (msg == nullptr || m_hPaintWnd == nullptr ||
        (msg->hwnd != m_hPaintWnd && !::IsChild(m_hPaintWnd, msg->hwnd)))
        return FALSE;
    switch (msg->message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            if (msg->wParam != VK_TAB || KeyHeld(VK_CONTROL) || KeyHeld(VK_MENU))
                return FALSE;
            MControl* next = KeyHeld(VK_SHIFT) ? GetPrevFocusableControl() : GetNextFocusableControl();
            if (next == nullptr || next == m_pFocus)
                return FALSE;
            SetFocusControl(next);
            return TRUE;
        }
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MOUSEWHEEL:
            if (m_hTooltip)
                ::SendMessageW(m_hTooltip.get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
            return FALSE;
        default:
            return FALSE;
    }
}

// ---- Mouse ----

MControl* PaintManager::ResponsiveHover() const noexcept {
    return m_pHover != nullptr && m_pHover->IsVisible() && m_pHover->GetRresponse() ? m_pHover : nullptr;
}

BOOL PaintManager::OnMouseMove(UINT flags, CPoint pt) {
    if (!m_bTracking && m_hPaintWnd != nullptr) {
        TRACKMOUSEEVENT tme = {sizeof(tme), TME_HOVER | TME_LEAVE, m_hPaintWnd, kHoverTime};
        m_bTracking = ::TrackMouseEvent(&tme);
    }
    if (m_bDragArmed && (flags & MK_LBUTTON) != 0) {
        // A press that wanders a few pixels is still a click; beyond that the control's image is dragged.
        bool moved = std::abs(pt.x - m_ptDragStart.x) > kDragThreshold ||
                     std::abs(pt.y - m_ptDragStart.y) > kDragThreshold;
        if (moved) {
            StartDrag();
            return TRUE;
        }
    }
    if (m_pHover != nullptr && m_pHover->PtInRect(pt) && m_pHover->OnCheckMouseResponse(flags, pt) &&
        m_bTracking) {
        m_pHover->OnMouseMove(flags, pt);
        return TRUE;
    }
    ClearTooltip();
    if (m_bLButtonDown)
        return TRUE;
    if (!m_bTracking) {
        m_pHover = nullptr;
        return TRUE;
    }
    MControl* hover = nullptr;
    LockGuard guard(m_controlLock);
    for (size_t i = 0; i < m_controls.size(); ++i) {
        MControl* control = m_controls[i];
        control->OnMouseMove(flags, pt);
        if (i < m_controls.size() && m_controls[i] == control && control->PtInRect(pt) &&
            control->GetRresponse())
            hover = control;
    }
    m_pHover = hover;
    return TRUE;
}

BOOL PaintManager::OnMouseLeave() {
    ClearTooltip();
    m_bTracking = FALSE;
    if (m_bLButtonDown)
        return TRUE;
    if (m_pHover != nullptr)
        m_pHover->OnMouseMove(0, kNowhere);
    m_pHover = nullptr;
    m_bLButtonDown = FALSE;
    return TRUE;
}

BOOL PaintManager::ButtonDown(UINT flags, CPoint pt, bool right) {
    (right ? m_bRDblClk : m_bLDblClk) = FALSE;
    if (m_pFocus != nullptr && m_pFocus != m_pHover) {
        MControl* old = m_pFocus;
        m_pFocus = nullptr;
        old->SetControlFocus(FALSE);
    }
    MControl* hover = ResponsiveHover();
    if (hover != nullptr && hover->PtInRect(pt) && hover->OnCheckMouseResponse(flags, pt)) {
        if (!right && hover->IsDragDrop() && hover->IsEnabled()) {
            m_bDragArmed = TRUE;
            m_ptDragStart = pt;
            m_hDragBitmap.reset(hover->GetDropBitmap());
        }
        (right ? m_bRButtonDown : m_bLButtonDown) = TRUE;
        m_pFocus = hover;
        int handled = right ? hover->OnRButtonDown(flags, pt) : hover->OnLButtonDown(flags, pt);
        if (!m_bCaptured) {
            SetCapture();
            m_bCaptured = TRUE;
            return TRUE;
        }
        if (handled)
            return TRUE;
    }
    if (right || !m_bWndDrag)
        return TRUE;
    ReleaseCapture();
    // The system's move loop takes the press point in screen coordinates.
    POINT screen = pt;
    ::ClientToScreen(m_hPaintWnd, &screen);
    ::SendMessageW(m_hPaintWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
    return TRUE;
}

BOOL PaintManager::ButtonUp(UINT flags, CPoint pt, bool right) {
    if (m_bCaptured) {
        ReleaseCapture();
        m_bCaptured = FALSE;
    }
    (right ? m_bRButtonDown : m_bLButtonDown) = FALSE;
    if (!right)
        m_bDragArmed = FALSE;
    if (MControl* hover = ResponsiveHover()) {
        CRect before = hover->GetRect();
        if (right)
            hover->OnRButtonUp(flags, pt);
        else
            hover->OnLButtonUp(flags, pt);
        if (!before.PtInRect(pt))
            m_pHover = nullptr;
    } else {
        m_pHover = nullptr;
    }
    (right ? m_bRDblClk : m_bLDblClk) = FALSE;
    return TRUE;
}

BOOL PaintManager::ButtonDblClk(UINT flags, CPoint pt, bool right) {
    (right ? m_bRDblClk : m_bLDblClk) = TRUE;
    if (MControl* hover = ResponsiveHover()) {
        if (right)
            hover->OnRButtonDblClk(flags, pt);
        else
            hover->OnLButtonDblClk(flags, pt);
        if (m_pHover == hover && !hover->GetRect().PtInRect(pt))
            m_pHover = nullptr;
    } else {
        m_pHover = nullptr;
    }
    return TRUE;
}

BOOL PaintManager::OnLButtonDown(UINT flags, CPoint pt) {
    return ButtonDown(flags, pt, false);
}

BOOL PaintManager::OnLButtonUp(UINT flags, CPoint pt) {
    return ButtonUp(flags, pt, false);
}

BOOL PaintManager::OnLButtonDblClk(UINT flags, CPoint pt) {
    return ButtonDblClk(flags, pt, false);
}

BOOL PaintManager::OnRButtonDown(UINT flags, CPoint pt) {
    return ButtonDown(flags, pt, true);
}

BOOL PaintManager::OnRButtonUp(UINT flags, CPoint pt) {
    return ButtonUp(flags, pt, true);
}

BOOL PaintManager::OnRButtonDblClk(UINT flags, CPoint pt) {
    return ButtonDblClk(flags, pt, true);
}

BOOL PaintManager::OnMouseWheel(UINT flags, short delta, CPoint screenPt) {
    (void)flags;
    CPoint pt = screenPt;
    ::ScreenToClient(m_hPaintWnd, &pt);
    int steps = delta / WHEEL_DELTA;
    // The direction travels with every step, to the hover control and to the others alike.
    UINT down = steps <= 0 ? 1 : 0;
    BOOL taken = FALSE;
    for (int i = 0; i < std::abs(steps); ++i) {
        if (m_pHover != nullptr && m_pHover->OnScroll(1, down, pt)) {
            taken = TRUE;
            continue;
        }
        LockGuard guard(m_controlLock);
        for (size_t c = 0; c < m_controls.size(); ++c) {
            if (m_controls[c]->OnScroll(1, down, pt)) {
                taken = TRUE;
                break;
            }
        }
    }
    return taken;
}

BOOL PaintManager::OnNcActivate(BOOL active) {
    m_bActive = active;
    if (!active) {
        m_bTracking = FALSE;
        m_bCaptured = FALSE;
        m_bLDblClk = FALSE;
        MControl* hover = m_pHover;
        m_pHover = nullptr;
        if (m_bLButtonDown) {
            m_bLButtonDown = FALSE;
            if (hover != nullptr)
                hover->OnLButtonUp(0, kNowhere);
        } else if (hover != nullptr) {
            hover->OnMouseMove(0, kNowhere);
        }
    }
    CRect client;
    GetClientRect(client);
    InvalidateRect(client, FALSE);
    return TRUE;
}

HWND PaintManager::SetCapture() {
    return m_hPaintWnd != nullptr && ::IsWindow(m_hPaintWnd) ? ::SetCapture(m_hPaintWnd) : nullptr;
}

BOOL PaintManager::ReleaseCapture() {
    return ::GetCapture() == m_hPaintWnd && m_hPaintWnd != nullptr ? ::ReleaseCapture() : FALSE;
}

void PaintManager::GetWindowMinSize(int& cx, int& cy) const noexcept {
    cx = m_minSize.cx;
    cy = m_minSize.cy;
}

void PaintManager::GetWindowManSize(int& cx, int& cy) const noexcept {
    cx = m_maxSize.cx;
    cy = m_maxSize.cy;
}

// ---- Keyboard and focus ----

BOOL PaintManager::OnKeyDown(UINT vk, LPARAM) {
    UINT code = KeyHeld(VK_MENU) ? VK_MENU : (KeyHeld(VK_SHIFT) ? VK_SHIFT : 0);
    if (KeyHeld(VK_CONTROL))
        code |= VK_CONTROL;
    if (m_pHover != nullptr && m_pHover->OnKeyDown(vk, 1, code))
        return TRUE;
    LockGuard guard(m_controlLock);
    for (size_t i = 0; i < m_controls.size(); ++i) {
        if (m_controls[i]->OnKeyDown(vk, 1, code))
            return TRUE;
    }
    return FALSE;
}

MControl* PaintManager::GetNextFocusableControl() {
    auto focusable = [](const MControl* c) { return c->IsVisible() && c->IsEnabled() && c->IsTabStop(); };
    LockGuard guard(m_controlLock);
    bool passed = false;
    for (MControl* control : m_controls) {
        if (passed && focusable(control))
            return control;
        if (control == m_pFocus)
            passed = true;
    }
    for (MControl* control : m_controls) {
        if (m_pHover == nullptr)
            m_pHover = control;
        if (focusable(control))
            return control;
    }
    return nullptr;
}

MControl* PaintManager::GetPrevFocusableControl() {
    auto focusable = [](const MControl* c) { return c->IsVisible() && c->IsEnabled() && c->IsTabStop(); };
    LockGuard guard(m_controlLock);
    bool passed = false;
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
        if (passed && focusable(*it))
            return *it;
        if (*it == m_pFocus)
            passed = true;
    }
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
        if (m_pHover == nullptr)
            m_pHover = *it;
        if (focusable(*it))
            return *it;
    }
    return nullptr;
}

// ---- Control timers ----

BOOL PaintManager::SetTimer(MControl* control, UINT key, UINT elapse) {
    if (control == nullptr || m_hPaintWnd == nullptr)
        return FALSE;
    LockGuard guard(m_timerLock);
    for (TimerInfo& record : m_timers) {
        if (record.control == control && record.hwnd == m_hPaintWnd && record.key == key) {
            if (!record.stopped)
                return FALSE;
            if (::SetTimer(m_hPaintWnd, record.windowTimerId, elapse, nullptr) == 0)
                return FALSE;
            record.stopped = FALSE;
            return TRUE;
        }
    }
    // The next id of the cycle that is neither the engine's own nor held by another record (stopped records
    // keep theirs for a restart).
    auto taken = [this](UINT id) {
        return IsReservedTimerId(id) ||
               std::any_of(m_timers.begin(), m_timers.end(),
                           [id](const TimerInfo& r) { return r.windowTimerId == id; });
    };
    UINT id = m_nLastTimerID;
    for (UINT tries = 0; tries < kTimerIdCycle; ++tries) {
        id = (id + 1) % kTimerIdCycle;
        if (!taken(id))
            break;
    }
    if (taken(id))
        return FALSE;
    m_nLastTimerID = id;
    if (::SetTimer(m_hPaintWnd, id, elapse, nullptr) == 0)
        return FALSE;
    m_timers.push_back({m_hPaintWnd, key, id, FALSE, control});
    return TRUE;
}

BOOL PaintManager::KillTimer(MControl* control, UINT key) {
    LockGuard guard(m_timerLock);
    for (TimerInfo& record : m_timers) {
        if (record.control == control && record.hwnd == m_hPaintWnd && record.key == key && !record.stopped) {
            if (::IsWindow(record.hwnd))
                ::KillTimer(record.hwnd, record.windowTimerId);
            record.stopped = TRUE;
            return TRUE;
        }
    }
    return FALSE;
}

void PaintManager::KillTimer(MControl* control) {
    LockGuard guard(m_timerLock);
    auto gone = std::remove_if(m_timers.begin(), m_timers.end(), [this, control](const TimerInfo& r) {
        if (r.control != control || r.hwnd != m_hPaintWnd)
            return false;
        if (!r.stopped && ::IsWindow(r.hwnd))
            ::KillTimer(r.hwnd, r.windowTimerId);
        return true;
    });
    m_timers.erase(gone, m_timers.end());
}

void PaintManager::ClearTimers() {
    LockGuard guard(m_timerLock);
    for (const TimerInfo& record : m_timers) {
        if (!record.stopped && record.hwnd == m_hPaintWnd && ::IsWindow(record.hwnd))
            ::KillTimer(record.hwnd, record.windowTimerId);
    }
    m_timers.clear();
}

void PaintManager::OnTimer(UINT id) {
    switch (id) {
        case kCaretTimer:
            InvalidateCaret();
            m_bCaretPhase = !m_bCaretPhase;
            return;
        case kBannerHoldTimer:
            ::KillTimer(m_hPaintWnd, kBannerHoldTimer);
            ::SetTimer(m_hPaintWnd, kBannerFadeTimer, 50, nullptr);
            return;
        case kBannerFadeTimer:
            m_nBannerAlpha -= 10;
            if (m_nBannerAlpha < 20) {
                m_nBannerAlpha = 0;
                m_nBannerProgress = 0;
                ::KillTimer(m_hPaintWnd, kBannerFadeTimer);
                Invalidate();
            }
            InvalidateRect(m_rcBanner, FALSE);
            return;
        case kBannerProgressTimer:
            m_nBannerProgress = std::min(m_nBannerProgress + 2, m_nBannerTarget);
            if (m_nBannerProgress >= m_nBannerTarget)
                ::KillTimer(m_hPaintWnd, kBannerProgressTimer);
            InvalidateRect(m_rcBanner, FALSE);
            if (m_nBannerProgress >= 100)
                ::SetTimer(m_hPaintWnd, kBannerFadeTimer, 50, nullptr);
            return;
        default:
            break;
    }
    LockGuard guard(m_timerLock);
    // A control's tick may start or stop timers: the owners are collected first.
    std::vector<MControl*> due;
    for (const TimerInfo& record : m_timers) {
        if (!record.stopped && record.hwnd == m_hPaintWnd && record.windowTimerId == id)
            due.push_back(record.control);
    }
    for (MControl* control : due)
        control->OnTimer();
}

// ---- Master timer ----

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

BOOL PaintManager::DeleteMTimer(MControl* control) {
    LockGuard guard(m_mtimerLock);
    auto it = std::find(m_mtimerControls.begin(), m_mtimerControls.end(), control);
    if (it == m_mtimerControls.end())
        return FALSE;
    m_mtimerControls.erase(it);
    return TRUE;
}

void PaintManager::OnMTimer(UINT id) {
    if (id == 0 || id != m_nMTimerID)
        return;
    LockGuard guard(m_mtimerLock);
    for (size_t i = 0; i < m_mtimerControls.size(); ++i)
        m_mtimerControls[i]->OnTimer();
}

// ---- Balloon ----

BOOL PaintManager::SetAirBladderMsg(const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type,
                                    AIRBLADDER_MODE mode) {
    if (!m_pAirBladder) {
        if (m_hPaintWnd == nullptr || !::IsWindow(m_hPaintWnd))
            return FALSE;
        auto balloon = std::make_unique<MAirBladder>();
        // Created hidden: it appears when asked to show.
        constexpr DWORD kBalloonStyle = 0x96000080 & ~WS_VISIBLE;
        if (balloon->Create(m_hPaintWnd, L"AirBladder Window", kBalloonStyle, WS_EX_TOOLWINDOW, CRect()) ==
            nullptr)
            return FALSE;
        balloon->SetImages(L"img_tip_bk.png", L"img_tip_arrow_left.png", L"img_tip_arrow_right.png",
                           L"img_tip_arrow_top.png");
        m_pAirBladder = std::move(balloon);
    }
    m_pAirBladder->SetMessage(text, screenPt, type, mode);
    return TRUE;
}

BOOL PaintManager::ShowAirBladder(BOOL show, int owner) {
    if (!m_pAirBladder)
        return FALSE;
    if (owner != 0) {
        if (!show && owner != m_nAirBladderOwner)
            return FALSE;
        if (show)
            m_nAirBladderOwner = owner;
    }
    m_pAirBladder->ShowWindow(show ? SW_SHOWNOACTIVATE : SW_HIDE);
    return TRUE;
}

// ---- Caret ----

void PaintManager::InvalidateCaret() {
    InvalidateRect(m_rcCaret, FALSE);
}

void PaintManager::CreateCaret(HBITMAP bitmap, int width, int height) {
    if (m_hPaintWnd != nullptr)
        ::CreateCaret(m_hPaintWnd, bitmap, width, height);
    m_rcCaret = CRect(m_rcCaret.left, m_rcCaret.top, m_rcCaret.left + width, m_rcCaret.top + height);
}

BOOL PaintManager::SetCaretPos(MControlFont* owner, int x, int y) {
    if (!::SetCaretPos(x, y))
        return FALSE;
    m_pCaretOwner = owner;
    InvalidateCaret();
    m_rcCaret = CRect(CPoint(x, y), m_rcCaret.Size());
    InvalidateCaret();
    return TRUE;
}

BOOL PaintManager::ShowCaret(BOOL show) {
    if (show && !m_bCaretShown) {
        m_bCaretShown = TRUE;
        if (m_hPaintWnd != nullptr)
            ::SetTimer(m_hPaintWnd, kCaretTimer, ::GetCaretBlinkTime(), nullptr);
        if (!m_bCaretPhase) {
            InvalidateCaret();
            m_bCaretPhase = TRUE;
        }
    } else if (!show && m_bCaretShown) {
        m_bCaretShown = FALSE;
        if (m_hPaintWnd != nullptr)
            ::KillTimer(m_hPaintWnd, kCaretTimer);
        if (m_bCaretPhase)
            InvalidateCaret();
        m_bCaretPhase = FALSE;
    }
    return TRUE;
}

void PaintManager::DrawCaret(HDC dc, const CRect& paintRect) {
    if (m_pCaretOwner == nullptr || !m_pCaretOwner->IsFocused() || ::GetFocus() != m_hPaintWnd) {
        if (m_hPaintWnd != nullptr)
            ::KillTimer(m_hPaintWnd, kCaretTimer);
        if (m_bCaretPhase)
            InvalidateCaret();
        m_bCaretPhase = FALSE;
        return;
    }
    if (!m_bCaretPhase || !m_bCaretShown)
        return;
    CRect visible;
    if (!visible.IntersectRect(m_rcCaret, paintRect))
        return;
    Gdiplus::Graphics g(dc);
    Gdiplus::SolidBrush ink(Gdiplus::Color((m_pCaretOwner->GetTextColor() & 0x00FFFFFF) | 0xFE000000));
    g.FillRectangle(&ink, static_cast<INT>(visible.left), static_cast<INT>(visible.top),
                    static_cast<INT>(visible.Width()), static_cast<INT>(visible.Height()));
}

// ---- Drag and drop ----

BOOL PaintManager::InitDragDrop() {
    if (!RegisterTarget(m_hPaintWnd))
        return FALSE;
    if (!m_bFormatsListed) {
        AddSuportedFormat({CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI});
        AddSuportedFormat({CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        AddSuportedFormat({CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        AddSuportedFormat({CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF});
        m_bFormatsListed = TRUE;
    }
    return TRUE;
}

bool PaintManager::OnDrop(FORMATETC* format, STGMEDIUM& medium, DWORD*) {
    if (format == nullptr || m_hPaintWnd == nullptr || !::IsWindow(m_hPaintWnd))
        return false;
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    ::ScreenToClient(m_hPaintWnd, &cursor);
    ::SendMessageW(m_hPaintWnd, WM_LBUTTONUP, 0, MAKELPARAM(cursor.x, cursor.y));
    UniqueBitmap bitmap;
    if (format->cfFormat == CF_DIB && medium.tymed == TYMED_HGLOBAL)
        bitmap.reset(BitmapFromPackedDib(medium.hGlobal));
    else if (format->cfFormat == CF_BITMAP && medium.tymed == TYMED_GDI)
        bitmap.reset(static_cast<HBITMAP>(::CopyImage(medium.hBitmap, IMAGE_BITMAP, 0, 0, 0)));
    else if (format->cfFormat == CF_HDROP && medium.tymed == TYMED_HGLOBAL)
        bitmap.reset(BitmapFromFirstFile(static_cast<HDROP>(medium.hGlobal)));
    else if (format->cfFormat == CF_ENHMETAFILE && medium.tymed == TYMED_ENHMF)
        bitmap.reset(BitmapFromMetafile(medium.hEnhMetaFile));
    if (!bitmap)
        return false;
    // The receiver copies what it keeps during the send; the bitmap stays the engine's and is freed here.
    ::SendMessageW(m_hPaintWnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
    return true;
}

HBITMAP PaintManager::GenerateBitmap(MControl* control, const CRect& rect, COLORREF background) {
    if (control == nullptr || rect.Width() <= 0 || rect.Height() <= 0)
        return nullptr;
    HDC screen = ::GetDC(nullptr);
    UniqueMemoryDC dc(::CreateCompatibleDC(screen));
    UniqueBitmap bitmap(CreateSurfaceBitmap(screen, rect.Width(), rect.Height()));
    ::ReleaseDC(nullptr, screen);
    if (!dc || !bitmap)
        return nullptr;
    HGDIOBJ displaced = ::SelectObject(dc.get(), bitmap.get());
    UniqueBrush fill(::CreateSolidBrush(background));
    RECT whole = {0, 0, rect.Width(), rect.Height()};
    ::FillRect(dc.get(), &whole, fill.get());
    // The control draws in client coordinates: shift them so that the rectangle lands at the origin.
    ::SetViewportOrgEx(dc.get(), -rect.left, -rect.top, nullptr);
    HDC target = dc.get();
    control->Draw(target, rect);
    ::SetViewportOrgEx(dc.get(), 0, 0, nullptr);
    ::SelectObject(dc.get(), displaced);
    return bitmap.release();
}

HBITMAP PaintManager::GetDropBitmap(MControl* control, const CRect& rect, COLORREF background) {
    return GenerateBitmap(control, rect, background);
}

void PaintManager::StartDrag() {
    RECT window = {};
    ::GetWindowRect(m_hPaintWnd, &window);
    ::ClipCursor(&window);
    ReleaseCapture();
    m_bCaptured = FALSE;
    auto* data = new DragData(m_hDragBitmap.get(), MetafileOf(m_hDragBitmap.get()));
    BITMAP info = {};
    Microsoft::WRL::ComPtr<IDragSourceHelper> helper;
    if (m_hDragBitmap && ::GetObjectW(m_hDragBitmap.get(), sizeof(info), &info) != 0 &&
        SUCCEEDED(
            ::CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&helper)))) {
        // The helper takes ownership of the bitmap it is given: hand it a copy.
        SHDRAGIMAGE image = {};
        image.sizeDragImage = {info.bmWidth, info.bmHeight};
        image.ptOffset = {info.bmWidth / 2, info.bmHeight / 2};
        image.hbmpDragImage = static_cast<HBITMAP>(::CopyImage(m_hDragBitmap.get(), IMAGE_BITMAP, 0, 0, 0));
        image.crColorKey = CLR_NONE;
        if (image.hbmpDragImage != nullptr && FAILED(helper->InitializeFromBitmap(&image, data)))
            ::DeleteObject(image.hbmpDragImage);
    }
    DragSource source;
    DWORD effect = DROPEFFECT_NONE;
    ::DoDragDrop(data, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    data->Release();
    m_bDragArmed = FALSE;
    m_bLButtonDown = FALSE;
    ::ClipCursor(nullptr);
}

// ---- Controls going away ----

void PaintManager::ForgetControl(MControl* control) noexcept {
    if (control == nullptr)
        return;
    {
        LockGuard guard(m_timerLock);
        auto gone = std::remove_if(m_timers.begin(), m_timers.end(), [control](const TimerInfo& r) {
            if (r.control != control)
                return false;
            if (!r.stopped && ::IsWindow(r.hwnd))
                ::KillTimer(r.hwnd, r.windowTimerId);
            return true;
        });
        m_timers.erase(gone, m_timers.end());
    }
    RemoveMTimer(control);
    if (m_pHover == control) {
        m_pHover = nullptr;
        m_bLButtonDown = FALSE;
        m_bRButtonDown = FALSE;
        m_bDragArmed = FALSE;
    }
    if (m_pFocus == control)
        m_pFocus = nullptr;
    if (m_pCaretOwner != nullptr && static_cast<MControl*>(m_pCaretOwner) == control)
        m_pCaretOwner = nullptr;
}

}  // namespace Tessel
