#pragma once

#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>

namespace Tessel {

// One native window bound to this object. The object never destroys its window and the window never deletes
// the object; copies refer to the same native window. Every call belongs to the thread that created it.
class TESSEL_API MWindow {
  public:
    MWindow() noexcept;
    MWindow(const MWindow&) = default;
    MWindow& operator=(const MWindow&) = default;
    virtual ~MWindow();

    [[nodiscard]] virtual const wchar_t* GetWindowClassName() const;
    // A system class name ("Edit") makes this window a superclass of it; null means a class of its own.
    [[nodiscard]] virtual const wchar_t* GetSuperClassName() const;
    virtual BOOL ShowWindow(int nCmdShow);
    virtual LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL OnInitDialog();
    // The last call the object receives for its window; a derived class may release itself here.
    virtual void OnDestroyMessage(HWND hwnd);

    // Returns the existing handle when the window is alive; null when registration or creation fails.
    HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, CRect rect, HMENU menu);
    HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, CRect rect);
    HWND Create(HWND parent, CRect rect);
    HWND Create(HWND parent);
    BOOL RegisterWindowClass();
    BOOL RegisterSuperClass();

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // Shows the window and runs messages until it is gone. Returns the wParam of a posted WM_CLOSE, 0 when
    // the window ended otherwise, 0xFFFFFFFF without a window.
    UINT ShowModal(int nCmdShow);

    void CenterWindow(MWindow* reference);
    void BringToTop();
    void SetIcon(UINT resourceId);
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags);
    BOOL ModifyExStyle(DWORD remove, DWORD add, UINT swpFlags);

    [[nodiscard]] HWND GetSafeHwnd() const noexcept { return m_hWnd; }
    [[nodiscard]] HWND GetParentHwnd() const noexcept { return m_hParent; }
    [[nodiscard]] DWORD GetStyle() const;
    [[nodiscard]] DWORD GetExStyle() const;
    LRESULT SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam);
    BOOL GetClientRect(RECT* rect) const;
    BOOL GetWindowRect(RECT* rect) const;
    void SetWindowTextW(const wchar_t* text);
    void GetWindowTextW(CString& text) const;
    [[nodiscard]] int GetWindowTextLengthW() const;
    BOOL EnableWindow(BOOL enable);
    [[nodiscard]] BOOL IsWindowEnabled() const;
    [[nodiscard]] BOOL IsWindowVisible() const;
    [[nodiscard]] BOOL IsIconic() const;
    void InvalidateRect(CRect rect, BOOL erase);
    HWND SetCapture();
    HWND SetFocus();
    BOOL ReleaseCapture();
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc);
    BOOL KillTimer(UINT_PTR id);
    BOOL ClientToScreen(POINT* point) const;
    BOOL ScreenToClient(POINT* point) const;
    BOOL ClientToScreen(RECT* rect) const;
    BOOL ScreenToClient(RECT* rect) const;
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags);
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint);
    BOOL MoveWindow(const RECT* rect, BOOL repaint);
    BOOL DestroyWindow();

  protected:
    // Set: neither null nor -1. Live: set and accepted by IsWindow.
    [[nodiscard]] bool IsHandleSet() const noexcept;
    [[nodiscard]] bool IsLive() const noexcept;

    HWND m_hParent = nullptr;  // not owned
    HWND m_hWnd = nullptr;     // not owned: the window outlives or predeceases the object freely
    WNDPROC m_OldWndProc = ::DefWindowProcW;

  private:
    friend struct MWindowAccess;
    BOOL ModifyStyleOf(int index, DWORD remove, DWORD add, UINT swpFlags);
};

}  // namespace Tessel
