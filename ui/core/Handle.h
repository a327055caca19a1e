#pragma once

// One move-only owner for every kind of Windows handle. Each kind is described by a small traits struct:
// its handle type, the value that means "none", and how to release it.

#include <windows.h>
#include <wininet.h>

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
struct Kernel {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
// CreateFile and CreateToolhelp32Snapshot say "none" with INVALID_HANDLE_VALUE.
struct File {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct Key {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::RegCloseKey(h); }
};
struct Internet {
    using pointer = HINTERNET;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::InternetCloseHandle(h); }
};
struct Module {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::FreeLibrary(h); }
};
struct MapView {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer p) noexcept { ::UnmapViewOfFile(p); }
};
template <typename T>
struct Gdi {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DeleteObject(h); }
};
struct MemoryDC {
    using pointer = HDC;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DeleteDC(h); }
};
struct Icon {
    using pointer = HICON;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DestroyIcon(h); }
};
// A window this object created and destroys with itself (a tool tip, a popup).
struct Window {
    using pointer = HWND;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DestroyWindow(h); }
};
struct Menu {
    using pointer = HMENU;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DestroyMenu(h); }
};
struct Bstr {
    using pointer = BSTR;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer s) noexcept { ::SysFreeString(s); }
};
}  // namespace handle_traits

using UniqueHandle = UniqueResource<handle_traits::Kernel>;
using UniqueFileHandle = UniqueResource<handle_traits::File>;
using UniqueHKey = UniqueResource<handle_traits::Key>;
using UniqueHInternet = UniqueResource<handle_traits::Internet>;
using UniqueModule = UniqueResource<handle_traits::Module>;
using UniqueMapView = UniqueResource<handle_traits::MapView>;
template <typename T>
using UniqueGdi = UniqueResource<handle_traits::Gdi<T>>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniqueRegion = UniqueGdi<HRGN>;
using UniqueMemoryDC = UniqueResource<handle_traits::MemoryDC>;
using UniqueIcon = UniqueResource<handle_traits::Icon>;
using UniqueMenu = UniqueResource<handle_traits::Menu>;
using UniqueWindow = UniqueResource<handle_traits::Window>;
using UniqueBstr = UniqueResource<handle_traits::Bstr>;

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
