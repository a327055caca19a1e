#pragma once

// One move-only owner for every kind of Windows handle. Each kind is described by a small traits struct:
// its handle type, the value that means "none", and how to release it. Kinds whose headers only some code
// needs have their own file beside this one (InternetHandle.h).

#include <windows.h>
#include <oleauto.h>

#include <utility>

template <typename Traits>
class UniqueResource {
  public:
    using pointer = typename Traits::pointer;

    UniqueResource() noexcept = default;
    explicit UniqueResource(pointer h) noexcept : h_(h) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : h_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    [[nodiscard]] pointer get() const noexcept { return h_; }
    [[nodiscard]] bool valid() const noexcept { return h_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    [[nodiscard]] pointer release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(pointer h = Traits::invalid()) noexcept {
        pointer old = std::exchange(h_, h);
        if (old != Traits::invalid()) {
            Traits::close(old);
        }
    }
    // For out-parameters: releases what is held and hands out the slot.
    [[nodiscard]] pointer* put() noexcept {
        reset();
        return &h_;
    }

  private:
    pointer h_ = Traits::invalid();
};

namespace handle_traits {
// The common case: "none" is a null value and one call releases the handle.
template <typename Handle, auto Close>
struct NullIsNone {
    using pointer = Handle;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { Close(h); }
};
// CreateFile, CreateToolhelp32Snapshot and FindFirstFile say "none" with INVALID_HANDLE_VALUE.
template <auto Close>
struct InvalidIsNone {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { Close(h); }
};
}  // namespace handle_traits

using UniqueHandle = UniqueResource<handle_traits::NullIsNone<HANDLE, &::CloseHandle>>;
using UniqueFileHandle = UniqueResource<handle_traits::InvalidIsNone<&::CloseHandle>>;
using UniqueFind = UniqueResource<handle_traits::InvalidIsNone<&::FindClose>>;
using UniqueHKey = UniqueResource<handle_traits::NullIsNone<HKEY, &::RegCloseKey>>;
using UniqueModule = UniqueResource<handle_traits::NullIsNone<HMODULE, &::FreeLibrary>>;
using UniqueMapView = UniqueResource<handle_traits::NullIsNone<void*, &::UnmapViewOfFile>>;
template <typename T>
using UniqueGdi = UniqueResource<handle_traits::NullIsNone<T, &::DeleteObject>>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniqueRegion = UniqueGdi<HRGN>;
using UniqueMemoryDC = UniqueResource<handle_traits::NullIsNone<HDC, &::DeleteDC>>;
using UniqueIcon = UniqueResource<handle_traits::NullIsNone<HICON, &::DestroyIcon>>;
using UniqueMenu = UniqueResource<handle_traits::NullIsNone<HMENU, &::DestroyMenu>>;
// A window this object created and destroys with itself (a tool tip, a popup).
using UniqueWindow = UniqueResource<handle_traits::NullIsNone<HWND, &::DestroyWindow>>;
using UniqueGlobal = UniqueResource<handle_traits::NullIsNone<HGLOBAL, &::GlobalFree>>;
// A font registered for this process from memory (AddFontMemResourceEx).
using UniqueFontRegistration = UniqueResource<handle_traits::NullIsNone<HANDLE, &::RemoveFontMemResourceEx>>;
using UniqueEnhMetafile = UniqueResource<handle_traits::NullIsNone<HENHMETAFILE, &::DeleteEnhMetaFile>>;
using UniqueBstr = UniqueResource<handle_traits::NullIsNone<BSTR, &::SysFreeString>>;
// What the system hands out with LocalAlloc (security descriptors, SID texts) or CoTaskMemAlloc (known-folder
// paths).
using UniqueLocalMemory = UniqueResource<handle_traits::NullIsNone<HLOCAL, &::LocalFree>>;
using UniqueCoTaskText = UniqueResource<handle_traits::NullIsNone<wchar_t*, &::CoTaskMemFree>>;

// A DC from GetDC/GetWindowDC: releasing needs the window too, so it carries both.
class WindowDC {
  public:
    explicit WindowDC(HWND hwnd) noexcept : hwnd_(hwnd), hdc_(::GetDC(hwnd)) {}
    ~WindowDC() {
        if (hdc_) {
            ::ReleaseDC(hwnd_, hdc_);
        }
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    WindowDC(WindowDC&& other) noexcept : hwnd_(other.hwnd_), hdc_(std::exchange(other.hdc_, nullptr)) {}
    WindowDC& operator=(WindowDC&&) = delete;

    [[nodiscard]] HDC get() const noexcept { return hdc_; }
    explicit operator bool() const noexcept { return hdc_ != nullptr; }

  private:
    HWND hwnd_;  // not owned
    HDC hdc_;
};
