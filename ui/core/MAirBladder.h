#pragma once

#include "core/MWindow.h"
#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

namespace Tessel {

// Where the balloon's arrow points from: its top-left corner, the middle of its top edge, its top-right
// corner.
enum AIRBLADDER_TYPE { AIRBLADDER_LEFT = 0, AIRBLADDER_TOP = 1, AIRBLADDER_RIGHT = 2 };
// How the balloon shows: bit 0 keeps it above other windows, bit 1 hides it when clicked.
enum AIRBLADDER_MODE { AIRBLADDER_PLAIN = 0, AIRBLADDER_TOPMOST = 1, AIRBLADDER_CLICK_HIDES = 2 };

// A balloon message: a popup owned by a dialog, drawn from a background skin and an arrow skin, pointing at
// a screen point below a control. Unlike other windows, the object destroys its window when it goes.
class TESSEL_API MAirBladder : public MWindow {
  public:
    MAirBladder() noexcept;
    ~MAirBladder() override;
    MAirBladder(const MAirBladder&) = delete;
    MAirBladder& operator=(const MAirBladder&) = delete;

    [[nodiscard]] const wchar_t* GetWindowClassName() const override;
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Skin images relative to the skin folder; a missing image leaves that part undrawn.
    void SetImages(const wchar_t* background, const wchar_t* arrowLeft, const wchar_t* arrowRight,
                   const wchar_t* arrowTop);
    // Text, the point the arrow touches, the arrow's side and the mode; moves the window there.
    void SetMessage(const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type, AIRBLADDER_MODE mode);

    [[nodiscard]] const CString& GetText() const noexcept { return m_text; }
    [[nodiscard]] POINT GetPoint() const noexcept { return m_point; }
    [[nodiscard]] AIRBLADDER_TYPE GetType() const noexcept { return m_type; }
    [[nodiscard]] AIRBLADDER_MODE GetMode() const noexcept { return m_mode; }

  private:
    void Paint(HDC dc);
    [[nodiscard]] Gdiplus::Image* Arrow() const noexcept;

    CString m_text;
    POINT m_point = {0, 0};
    AIRBLADDER_TYPE m_type = AIRBLADDER_LEFT;
    AIRBLADDER_MODE m_mode = AIRBLADDER_PLAIN;
    std::unique_ptr<Gdiplus::Image> m_background;
    std::unique_ptr<Gdiplus::Image> m_arrowLeft;
    std::unique_ptr<Gdiplus::Image> m_arrowRight;
    std::unique_ptr<Gdiplus::Image> m_arrowTop;
};

}  // namespace Tessel
