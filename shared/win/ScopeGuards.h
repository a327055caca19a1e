#pragma once

// Scope guards for calls that come in pairs: whatever the first call starts, the guard's destructor ends, on
// every path. Owners of single handles are in Handle.h.

#include <windows.h>
#include <imm.h>
#include <mmsystem.h>
#include <objbase.h>
#include <ole2.h>
#include <objidl.h>
#include <gdiplus.h>

// BeginPaint ... EndPaint around one WM_PAINT.
class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &ps_)) {}
    ~PaintScope() { ::EndPaint(hwnd_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    [[nodiscard]] HDC dc() const noexcept { return dc_; }

  private:
    HWND hwnd_;  // not owned
    PAINTSTRUCT ps_ = {};
    HDC dc_;
};

// SelectObject, and the displaced object put back when the scope ends.
class SelectionScope {
  public:
    SelectionScope(HDC dc, HGDIOBJ object) noexcept : dc_(dc), displaced_(::SelectObject(dc, object)) {}
    ~SelectionScope() {
        if (displaced_ != nullptr && displaced_ != HGDI_ERROR)
            ::SelectObject(dc_, displaced_);
    }
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;

  private:
    HDC dc_;  // not owned
    HGDIOBJ displaced_;
};

// SaveDC, and the DC's state (selected objects, clip, modes) restored when the scope ends.
class SavedDCScope {
  public:
    explicit SavedDCScope(HDC dc) noexcept : dc_(dc), saved_(::SaveDC(dc)) {}
    ~SavedDCScope() {
        if (saved_ != 0)
            ::RestoreDC(dc_, saved_);
    }
    SavedDCScope(const SavedDCScope&) = delete;
    SavedDCScope& operator=(const SavedDCScope&) = delete;

  private:
    HDC dc_;  // not owned
    int saved_;
};

// ImmGetContext ... ImmReleaseContext: a window's input context; get() is null when it has none.
class ImmContextScope {
  public:
    explicit ImmContextScope(HWND hwnd) noexcept : hwnd_(hwnd), context_(::ImmGetContext(hwnd)) {}
    ~ImmContextScope() {
        if (context_ != nullptr)
            ::ImmReleaseContext(hwnd_, context_);
    }
    ImmContextScope(const ImmContextScope&) = delete;
    ImmContextScope& operator=(const ImmContextScope&) = delete;

    [[nodiscard]] HIMC get() const noexcept { return context_; }

  private:
    HWND hwnd_;  // not owned
    HIMC context_;
};

// timeBeginPeriod ... timeEndPeriod: the system timer's resolution raised to `period` ms while the scope
// lasts.
class TimerPeriodScope {
  public:
    explicit TimerPeriodScope(UINT period) noexcept
        : period_(period), ok_(::timeBeginPeriod(period) == TIMERR_NOERROR) {}
    ~TimerPeriodScope() {
        if (ok_)
            ::timeEndPeriod(period_);
    }
    TimerPeriodScope(const TimerPeriodScope&) = delete;
    TimerPeriodScope& operator=(const TimerPeriodScope&) = delete;

    [[nodiscard]] bool ok() const noexcept { return ok_; }

  private:
    UINT period_;
    bool ok_;
};

// GlobalLock ... GlobalUnlock of a global memory block; data() is null when the block cannot be locked.
class GlobalLockScope {
  public:
    explicit GlobalLockScope(HGLOBAL block) noexcept : block_(block), data_(::GlobalLock(block)) {}
    ~GlobalLockScope() {
        if (data_ != nullptr)
            ::GlobalUnlock(block_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;

    [[nodiscard]] void* data() const noexcept { return data_; }

  private:
    HGLOBAL block_;  // not owned
    void* data_;
};

// GDI+ for the life of the scope.
class GdiplusSession {
  public:
    GdiplusSession() noexcept {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (ok_)
            Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    [[nodiscard]] bool ok() const noexcept { return ok_; }

  private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

// A library that a thread initialises for the life of the scope. A thread that had it already gets S_FALSE,
// which must be balanced too; only a failure is not.
template <HRESULT (*Init)(), void (*Uninit)()>
class ThreadInitScope {
  public:
    ThreadInitScope() noexcept : hr_(Init()) {}
    ~ThreadInitScope() {
        if (SUCCEEDED(hr_))
            Uninit();
    }
    ThreadInitScope(const ThreadInitScope&) = delete;
    ThreadInitScope& operator=(const ThreadInitScope&) = delete;

    // What the initialisation answered, for a caller that reports a failure.
    [[nodiscard]] HRESULT Result() const noexcept { return hr_; }

  private:
    HRESULT hr_;
};

inline HRESULT InitComApartment() noexcept {
    return ::CoInitialize(nullptr);
}
inline HRESULT InitOle() noexcept {
    return ::OleInitialize(nullptr);
}
inline void UninitCom() noexcept {
    ::CoUninitialize();
}
inline void UninitOle() noexcept {
    ::OleUninitialize();
}

// COM on this thread (single-threaded apartment).
using ComApartment = ThreadInitScope<&InitComApartment, &UninitCom>;
// OLE (drag and drop, the clipboard) on this thread.
using OleSession = ThreadInitScope<&InitOle, &UninitOle>;
