#pragma once

#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>

namespace Tessel {

// Parameters of a window's drop shadow and whether it is shown. Setters refuse values outside their ranges
// and leave the shadow unchanged then.
class TESSEL_API MShadow {
  public:
    MShadow() noexcept = default;

    // Binds the shadow to the window it belongs to; a null or dead handle leaves it unbound.
    void Create(HWND owner) noexcept;
    [[nodiscard]] HWND GetOwner() const noexcept { return m_hOwner; }

    BOOL SetSize(int size) noexcept;             // -35..35
    BOOL SetSharpness(UINT sharpness) noexcept;  // 0..35
    BOOL SetDarkness(UINT darkness) noexcept;    // 0..255
    BOOL SetPosition(int x, int y) noexcept;     // -35..35 each
    BOOL SetColor(COLORREF colour) noexcept;     // any
    // An image instead of the computed shadow; insets are taken only when all four are >= 0.
    void SetImage(const wchar_t* fileName, CRect insets);
    void SetImage(UINT resourceId, CRect insets);

    // Shown only while bound and not disabled.
    void Show(BOOL show) noexcept;
    void Disable(BOOL disable) noexcept;
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

  private:
    HWND m_hOwner = nullptr;  // not owned
    int m_nSize = 0;
    UINT m_nSharpness = 5;
    UINT m_nDarkness = 200;
    int m_nX = 0;
    int m_nY = 0;
    COLORREF m_color = 0;
    CString m_strImage;
    UINT m_nImageID = 0;
    CRect m_rcInsets;
    BOOL m_bShown = FALSE;
    BOOL m_bDisabled = FALSE;
};

}  // namespace Tessel
