#pragma once

// A window's drop shadow: a layered window of its own that lies just behind the window it belongs to (its
// owner here), follows the owner's moves and sizes, shows and hides with it and goes when it goes. It never
// takes the activation, and clicks pass through it to whatever lies beneath.
//
// Its pixels are computed from the settings (a rounded rectangle of the owner's size grown by `size`, moved
// by the position, in the colour at the darkness as alpha, fading out over `sharpness` pixels like a
// blurred edge) or drawn from an image as a nine-part frame around the owner. They are rendered only when a
// setting or the owner's size changes; a move only moves the window.
//
// The shadow's window is not owned by the owner window: an owned window always lies in front of its owner.
// It shares the owner's own owner instead, and is kept behind the owner, topmost when the owner is.

#include "core/DrawSurface.h"
#include "core/TesselApi.h"
#include "core/Types.h"
#include "win/Handle.h"

#include <windows.h>

#include <memory>

namespace Gdiplus {
class Image;
}

namespace Tessel {

class TESSEL_API MShadow {
  public:
    // Defaults for a dark borderless panel on a desktop: a soft black shadow as large as the window, a
    // little lower than it (light from above), darkest (alpha 110 of 255) at the window's edge and gone
    // 12 pixels beyond it.
    static constexpr int kDefaultSize = 0;
    static constexpr UINT kDefaultSharpness = 12;
    static constexpr UINT kDefaultDarkness = 110;
    static constexpr int kDefaultX = 0;
    static constexpr int kDefaultY = 3;
    static constexpr COLORREF kDefaultColor = RGB(0, 0, 0);

    MShadow() noexcept;
    ~MShadow();
    MShadow(const MShadow&) = delete;
    MShadow& operator=(const MShadow&) = delete;

    // Registers the shadow's window class for `instance` (the application module); later calls for the same
    // module do nothing. FALSE when the class cannot be registered.
    static BOOL Initialize(HINSTANCE instance) noexcept;

    // Binds the shadow to the top-level window it belongs to and makes its window with Manager's module
    // (Initialize first), shown while the owner is and the shadow is shown. A null, dead or child window,
    // or a failed creation, leaves it unbound.
    void Create(HWND owner);
    // The shadow's window goes and the shadow is unbound; its settings stay.
    void Destroy() noexcept;
    [[nodiscard]] HWND GetOwner() const noexcept { return m_hOwner; }
    [[nodiscard]] HWND GetWindow() const noexcept { return m_window.get(); }

    // A message of the owner: its moves, sizes, showing, hiding and minimising (WM_WINDOWPOSCHANGED) bring
    // the shadow along.
    void OnOwnerMessage(UINT msg);

    // Out-of-range values return FALSE and change nothing; accepted ones show at once.
    BOOL SetSize(int size);             // -35..35
    BOOL SetSharpness(UINT sharpness);  // 0..35
    BOOL SetDarkness(UINT darkness);    // 0..255
    BOOL SetPosition(int x, int y);     // -35..35 each
    BOOL SetColor(COLORREF colour);     // any
    // An image instead of the computed shadow (size and position still apply; sharpness, darkness and colour
    // do not): a file relative to the skin folder, or a "PNG" resource of the application module. Insets are
    // taken only when all four are >= 0. FALSE (and the computed shadow) when the image cannot be loaded.
    BOOL SetImage(const wchar_t* fileName, CRect insets);
    BOOL SetImage(UINT resourceId, CRect insets);

    // Shown only while bound, shown and not disabled.
    void Show(BOOL show);
    void Disable(BOOL disable);
    [[nodiscard]] BOOL IsShown() const noexcept { return m_bShown && !m_bDisabled && m_hOwner != nullptr; }
    [[nodiscard]] BOOL IsDisabled() const noexcept { return m_bDisabled; }

    [[nodiscard]] int GetSize() const noexcept { return m_nSize; }
    [[nodiscard]] UINT GetSharpness() const noexcept { return m_nSharpness; }
    [[nodiscard]] UINT GetDarkness() const noexcept { return m_nDarkness; }
    [[nodiscard]] CPoint GetPosition() const noexcept { return CPoint(m_nX, m_nY); }
    [[nodiscard]] COLORREF GetColor() const noexcept { return m_color; }
    [[nodiscard]] const CString& GetImageName() const noexcept { return m_strImage; }
    [[nodiscard]] UINT GetImageID() const noexcept { return m_nImageID; }
    [[nodiscard]] CRect GetImageInsets() const noexcept { return m_rcInsets; }

    // The last rendering as handed to the window: one pixel (0xAARRGGBB, premultiplied) in the shadow
    // window's coordinates; 0 outside it or before the first rendering.
    [[nodiscard]] DWORD GetPixel(int x, int y) const noexcept;
    // How often the pixels were rendered: once per change of a setting or of the owner's size while shown.
    [[nodiscard]] UINT GetRenderCount() const noexcept { return m_nRenders; }

  private:
    // A setting changed: render again, now if the shadow shows.
    void Changed();
    // Brings the window in line with the owner and the settings: hidden, or rendered if need be and placed
    // just behind the owner.
    void Update();
    [[nodiscard]] CRect Bounds() const noexcept;
    bool Render(const CRect& bounds);
    void TakeInsets(const CRect& insets) noexcept;

    HWND m_hOwner = nullptr;  // not owned
    UniqueWindow m_window;
    DrawSurface m_surface;  // the last rendering, top-down
    bool m_bStale = true;   // the surface does not show the current settings
    UINT m_nRenders = 0;
    int m_nSize = kDefaultSize;
    UINT m_nSharpness = kDefaultSharpness;
    UINT m_nDarkness = kDefaultDarkness;
    int m_nX = kDefaultX;
    int m_nY = kDefaultY;
    COLORREF m_color = kDefaultColor;
    CString m_strImage;
    UINT m_nImageID = 0;
    std::unique_ptr<Gdiplus::Image> m_image;
    CRect m_rcInsets;
    BOOL m_bShown = FALSE;
    BOOL m_bDisabled = FALSE;
};

}  // namespace Tessel
