#include "core/MWindow.h"

#include "core/Manager.h"

#include <string>

namespace Tessel {

// Grants the routing helpers access to the handle member without widening the class's interface.
struct MWindowAccess {
    static void SetHandle(MWindow* w, HWND h) noexcept { w->m_hWnd = h; }
    static WNDPROC OldProc(const MWindow* w) noexcept { return w->m_OldWndProc; }
};

namespace {

constexpr wchar_t kControlProp[] = L"Control";
const HWND kNoWindow = reinterpret_cast<HWND>(-1);

// Shared steps of WndProc and ControlProc; only where the object is kept differs.
template <typename Bind, typename Lookup, typename Unbind>
LRESULT Route(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Bind bind, Lookup lookup, Unbind unbind) {
    MWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<MWindow*>(cs->lpCreateParams);
        if (self) {
            bind(hwnd, self);
        }
    } else {
        self = lookup(hwnd);
    }
    if (msg == WM_NCDESTROY) {
        if (!self) {
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        LRESULT result = ::CallWindowProcW(MWindowAccess::OldProc(self), hwnd, msg, wParam, lParam);
        unbind(hwnd, self);
        self->OnDestroyMessage(hwnd);
        return result;
    }
    if (self) {
        return self->OnWindowMessage(msg, wParam, lParam);
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

MWindow::MWindow() noexcept = default;
MWindow::~MWindow() = default;

const wchar_t* MWindow::GetWindowClassName() const {
    return L"TesselWindow";
}

const wchar_t* MWindow::GetSuperClassName() const {
    return nullptr;
}

BOOL MWindow::ShowWindow(int nCmdShow) {
    if (!IsHandleSet()) {
        return FALSE;
    }
    return ::ShowWindow(m_hWnd, nCmdShow);
}

LRESULT MWindow::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_OldWndProc, m_hWnd, msg, wParam, lParam);
}

BOOL MWindow::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL MWindow::OnInitDialog() {
    return TRUE;
}

void MWindow::OnDestroyMessage(HWND) {}

bool MWindow::IsHandleSet() const noexcept {
    return m_hWnd != nullptr && m_hWnd != kNoWindow;
}

bool MWindow::IsLive() const noexcept {
    return m_hWnd != nullptr && ::IsWindow(m_hWnd);
}

HWND MWindow::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, CRect rect, HMENU menu) {
    if (IsHandleSet() && ::IsWindow(m_hWnd)) {
        return m_hWnd;
    }
    m_hParent = parent;
    BOOL registered = GetSuperClassName() != nullptr ? RegisterSuperClass() : RegisterWindowClass();
    if (!registered) {
        return nullptr;
    }
    m_hWnd = ::CreateWindowExW(exStyle, GetWindowClassName(), name, style, rect.left, rect.top, rect.Width(),
                               rect.Height(), parent, menu, Manager::m_hInstance, this);
    OnInitDialog();
    return m_hWnd;
}

HWND MWindow::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, CRect rect) {
    return Create(parent, name, style, exStyle, rect, nullptr);
}

HWND MWindow::Create(HWND parent, CRect rect) {
    return Create(parent, L"MWindow", 0x0000080B, 0, rect, nullptr);
}

HWND MWindow::Create(HWND parent) {
    return Create(parent, CRect(0, 0, 800, 600));
}

BOOL MWindow::RegisterWindowClass() {
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &MWindow::WndProc;
    wc.hInstance = Manager::m_hInstance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = GetWindowClassName();
    if (::RegisterClassW(&wc) != 0) {
        return TRUE;
    }
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS ? TRUE : FALSE;
}

BOOL MWindow::RegisterSuperClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!::GetClassInfoExW(nullptr, GetSuperClassName(), &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        if (!::GetClassInfoExW(Manager::m_hInstance, GetSuperClassName(), &wc)) {
            return FALSE;
        }
    }
    m_OldWndProc = wc.lpfnWndProc;
    wc.lpfnWndProc = &MWindow::ControlProc;
    wc.hInstance = Manager::m_hInstance;
    wc.lpszClassName = GetWindowClassName();
    if (::RegisterClassExW(&wc) != 0) {
        return TRUE;
    }
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS ? TRUE : FALSE;
}

LRESULT CALLBACK MWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Route(
        hwnd, msg, wParam, lParam,
        [](HWND h, MWindow* w) {
            MWindowAccess::SetHandle(w, h);
            ::SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
        },
        [](HWND h) { return reinterpret_cast<MWindow*>(::GetWindowLongPtrW(h, GWLP_USERDATA)); },
        [](HWND h, MWindow* w) {
            ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
            MWindowAccess::SetHandle(w, nullptr);
        });
}

LRESULT CALLBACK MWindow::ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Route(
        hwnd, msg, wParam, lParam,
        [](HWND h, MWindow* w) {
            MWindowAccess::SetHandle(w, h);
            ::SetPropW(h, kControlProp, w);
        },
        [](HWND h) { return static_cast<MWindow*>(::GetPropW(h, kControlProp)); },
        [](HWND h, MWindow* w) {
            ::RemovePropW(h, kControlProp);
            MWindowAccess::SetHandle(w, nullptr);
        });
}

UINT MWindow::ShowModal(int nCmdShow) {
    if (!IsLive()) {
        return 0xFFFFFFFF;
    }
    UINT result = 0;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    ShowWindow(nCmdShow);
    if (owner) {
        ::EnableWindow(owner, FALSE);
    }
    bool quit = false;
    WPARAM quitCode = 0;
    // Our own handle is kept: the member is cleared when the window goes, but IsWindow must see the old one.
    HWND self = m_hWnd;
    MSG msg;
    while (::IsWindow(self)) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (got < 0) {
            break;
        }
        if (msg.message == WM_CLOSE && msg.hwnd == self) {
            result = static_cast<UINT>(msg.wParam);
            // The owner comes back before the window closes, so activation returns to it and not elsewhere.
            if (owner) {
                ::EnableWindow(owner, TRUE);
                ::SetFocus(owner);
            }
        }
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetFocus(owner);
    }
    if (quit) {
        ::PostQuitMessage(static_cast<int>(quitCode));
    }
    return result;
}

void MWindow::CenterWindow(MWindow* reference) {
    if (!IsLive()) {
        return;
    }
    DWORD style = GetStyle();
    HWND ref = nullptr;
    if (reference && reference->m_hWnd) {
        ref = reference->m_hWnd;
    } else {
        ref = (style & WS_CHILD) ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);
    }
    RECT own{};
    ::GetWindowRect(m_hWnd, &own);
    RECT area{};
    RECT centre{};
    HWND parent = (style & WS_CHILD) ? ::GetParent(m_hWnd) : nullptr;
    if (parent) {
        ::GetClientRect(parent, &area);
        if (ref && ::IsWindow(ref)) {
            ::GetClientRect(ref, &centre);
            ::MapWindowPoints(ref, parent, reinterpret_cast<POINT*>(&centre), 2);
        } else {
            centre = area;
        }
    } else {
        if (ref && (static_cast<DWORD>(::GetWindowLongW(ref, GWL_STYLE)) & (WS_VISIBLE | WS_MINIMIZE)) !=
                       WS_VISIBLE) {
            ref = nullptr;
        }
        HMONITOR monitor = ::MonitorFromWindow(ref ? ref : m_hWnd, MONITOR_DEFAULTTONEAREST);
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        if (!::GetMonitorInfoW(monitor, &mi)) {
            return;
        }
        area = mi.rcWork;
        if (ref) {
            ::GetWindowRect(ref, &centre);
        } else {
            centre = area;
        }
    }
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = (centre.left + centre.right) / 2 - width / 2;
    int y = (centre.top + centre.bottom) / 2 - height / 2;
    if (x + width > area.right) {
        x = area.right - width;
    }
    if (x < area.left) {
        x = area.left;
    }
    if (y + height > area.bottom) {
        y = area.bottom - height;
    }
    if (y < area.top) {
        y = area.top;
    }
    ::SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MWindow::BringToTop() {
    if (!IsLive()) {
        return;
    }
    DWORD ownThread = ::GetWindowThreadProcessId(m_hWnd, nullptr);
    DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    if (foregroundThread == ownThread) {
        ::SetForegroundWindow(m_hWnd);
    } else {
        // Windows only lets the foreground thread hand the foreground on: borrow its input state briefly.
        ::AttachThreadInput(foregroundThread, ownThread, TRUE);
        ::AllowSetForegroundWindow(ASFW_ANY);
        ::SetForegroundWindow(m_hWnd);
        ::AttachThreadInput(foregroundThread, ownThread, FALSE);
    }
    ::ShowWindow(m_hWnd, (GetStyle() & WS_MINIMIZE) ? SW_RESTORE : SW_SHOW);
}

void MWindow::SetIcon(UINT resourceId) {
    if (!IsLive()) {
        return;
    }
    // Shared icons: the system keeps one copy per size, so calling this again leaks nothing.
    HANDLE big = ::LoadImageW(Manager::m_hInstance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                              ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                              LR_DEFAULTCOLOR | LR_SHARED);
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    HANDLE smallIcon = ::LoadImageW(Manager::m_hInstance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                    ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                    LR_DEFAULTCOLOR | LR_SHARED);
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

BOOL MWindow::ModifyStyleOf(int index, DWORD remove, DWORD add, UINT swpFlags) {
    if (!IsHandleSet()) {
        return FALSE;
    }
    DWORD old = static_cast<DWORD>(::GetWindowLongW(m_hWnd, index));
    DWORD next = (old & ~remove) | add;
    if (next == old) {
        return FALSE;
    }
    ::SetWindowLongW(m_hWnd, index, static_cast<LONG>(next));
    if (swpFlags != 0) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       swpFlags | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}

BOOL MWindow::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    return ModifyStyleOf(GWL_STYLE, remove, add, swpFlags);
}

BOOL MWindow::ModifyExStyle(DWORD remove, DWORD add, UINT swpFlags) {
    return ModifyStyleOf(GWL_EXSTYLE, remove, add, swpFlags);
}

DWORD MWindow::GetStyle() const {
    return IsHandleSet() ? static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)) : 0;
}

DWORD MWindow::GetExStyle() const {
    return IsHandleSet() ? static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)) : 0;
}

LRESULT MWindow::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return IsHandleSet() ? ::SendMessageW(m_hWnd, msg, wParam, lParam) : 0;
}

LRESULT MWindow::PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return IsHandleSet() ? ::PostMessageW(m_hWnd, msg, wParam, lParam) : 0;
}

BOOL MWindow::GetClientRect(RECT* rect) const {
    return IsLive() ? ::GetClientRect(m_hWnd, rect) : FALSE;
}

BOOL MWindow::GetWindowRect(RECT* rect) const {
    return IsLive() ? ::GetWindowRect(m_hWnd, rect) : FALSE;
}

void MWindow::SetWindowTextW(const wchar_t* text) {
    if (IsLive()) {
        ::SetWindowTextW(m_hWnd, text);
    }
}

void MWindow::GetWindowTextW(CString& text) const {
    if (!IsLive()) {
        return;
    }
    int length = ::GetWindowTextLengthW(m_hWnd);
    if (length < 0) {
        length = 0;
    }
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    int read = ::GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    buffer.resize(read > 0 ? static_cast<size_t>(read) : 0);
    text = CString(buffer);
}

int MWindow::GetWindowTextLengthW() const {
    return IsLive() ? ::GetWindowTextLengthW(m_hWnd) : -1;
}

BOOL MWindow::EnableWindow(BOOL enable) {
    return IsLive() ? ::EnableWindow(m_hWnd, enable) : FALSE;
}

BOOL MWindow::IsWindowEnabled() const {
    return IsLive() ? ::IsWindowEnabled(m_hWnd) : FALSE;
}

BOOL MWindow::IsWindowVisible() const {
    return IsLive() ? ::IsWindowVisible(m_hWnd) : FALSE;
}

BOOL MWindow::IsIconic() const {
    return IsLive() ? ::IsIconic(m_hWnd) : FALSE;
}

void MWindow::InvalidateRect(CRect rect, BOOL erase) {
    if (IsLive()) {
        ::InvalidateRect(m_hWnd, &rect, erase);
    }
}

HWND MWindow::SetCapture() {
    return IsLive() ? ::SetCapture(m_hWnd) : nullptr;
}

HWND MWindow::SetFocus() {
    return IsLive() ? ::SetFocus(m_hWnd) : nullptr;
}

BOOL MWindow::ReleaseCapture() {
    return IsLive() ? ::ReleaseCapture() : FALSE;
}

UINT_PTR MWindow::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) {
    return IsLive() ? ::SetTimer(m_hWnd, id, elapse, proc) : 0;
}

BOOL MWindow::KillTimer(UINT_PTR id) {
    return IsLive() ? ::KillTimer(m_hWnd, id) : FALSE;
}

BOOL MWindow::ClientToScreen(POINT* point) const {
    return IsLive() ? ::ClientToScreen(m_hWnd, point) : FALSE;
}

BOOL MWindow::ScreenToClient(POINT* point) const {
    return IsLive() ? ::ScreenToClient(m_hWnd, point) : FALSE;
}

BOOL MWindow::ClientToScreen(RECT* rect) const {
    if (!IsLive()) {
        return FALSE;
    }
    auto* corners = reinterpret_cast<POINT*>(rect);
    return ::ClientToScreen(m_hWnd, &corners[0]) && ::ClientToScreen(m_hWnd, &corners[1]) ? TRUE : FALSE;
}

BOOL MWindow::ScreenToClient(RECT* rect) const {
    if (!IsLive()) {
        return FALSE;
    }
    auto* corners = reinterpret_cast<POINT*>(rect);
    return ::ScreenToClient(m_hWnd, &corners[0]) && ::ScreenToClient(m_hWnd, &corners[1]) ? TRUE : FALSE;
}

BOOL MWindow::SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return IsLive() ? ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags) : FALSE;
}

BOOL MWindow::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
    return IsLive() ? ::MoveWindow(m_hWnd, x, y, width, height, repaint) : FALSE;
}

BOOL MWindow::MoveWindow(const RECT* rect, BOOL repaint) {
    if (!IsLive() || rect == nullptr) {
        return FALSE;
    }
    return ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                        repaint);
}

BOOL MWindow::DestroyWindow() {
    return IsLive() ? ::DestroyWindow(m_hWnd) : FALSE;
}

}  // namespace Tessel
