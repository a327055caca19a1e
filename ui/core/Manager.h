#pragma once

#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace Tessel {

// Process-wide state of the library. Static members only; never instantiated. The members are plain
// variables: set them once on the UI thread before windows are created.
class TESSEL_API Manager {
  public:
    Manager() = delete;

    // The application module: window classes are registered and application resources loaded with it.
    static void SetInstance(HINSTANCE instance) noexcept;
    [[nodiscard]] static HINSTANCE GetInstance() noexcept;

    // "theme1\" (with the trailing backslash).
    [[nodiscard]] static CString GetTheme();
    // The folder of the process's executable, with a trailing backslash.
    [[nodiscard]] static CString GetAppFolder();
    // GetAppFolder() + "skins\" + GetTheme(): every skin file named relatively is opened below it.
    [[nodiscard]] static CString GetSkinFolder();

    [[nodiscard]] static CString GetFontName();
    static void SetFontName(const CString& name);
    [[nodiscard]] static int GetFontWidth() noexcept;
    static void SetFontWidth(int width) noexcept;
    static void SetFont(const CString& name, int width);

    [[nodiscard]] static float GetScaleValue() noexcept;
    static void SetScaleValue(float scale) noexcept;
    // n times the scale factor, truncated toward zero; saturates at the int range.
    [[nodiscard]] static int GetScaleValue(int n) noexcept;

    [[nodiscard]] static Gdiplus::Color GetSelectColor() noexcept;

    // TRUE while Alt and F4 are both held; the message itself is not looked at.
    [[nodiscard]] static BOOL PreTranslateMessage(MSG* msg) noexcept;
    // Runs the thread's messages until WM_QUIT, dropping every message while Alt+F4 is held.
    static void MessageLoop() noexcept;

    // Optional start-up and shut-down of GDI+, COM and OLE for applications that want the library to do it.
    static void InitGdiplus() noexcept;
    static void UnInitGdiplus() noexcept;

    static HINSTANCE m_hInstance;
    static CString m_fontname;
    static int m_fontwidth;
    static float m_scale_value;
    static Gdiplus::Color m_select_color;
    static ULONG_PTR m_gdiplusToken;
    static Gdiplus::GdiplusStartupInput m_gdiplusStartupInput;
};

}  // namespace Tessel

// The library's own module handle, taken when the DLL attaches; its own resources are loaded from it.
extern "C" TESSEL_API HINSTANCE g_hLibModule;
