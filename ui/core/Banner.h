#pragma once

// The engine's transient message banner: a text that holds for three seconds and then fades, or a progress
// bar that moves towards its target and fades at 100 %. It runs on the engine's window timers
// kBannerHoldTimer, kBannerFadeTimer and kBannerProgressTimer (ControlTimers.h) and is drawn over the
// controls.

#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace Tessel {

class FontTable;
class PaintWindow;

// Kind of the transient message banner.
enum MsgLevel : int {
    MsgInfo = 0,
    MsgWarning = 1,
    MsgError = 2,
};

class Banner {
  public:
    Banner(const PaintWindow& window, FontTable& fonts) noexcept : window_(window), fonts_(fonts) {}

    void SetMessage(const CString& text, CRect rect, MsgLevel level);
    // Acts only when the percentage changes; an empty rectangle means a band along the client's bottom.
    void SetProgress(int percent, const CString& text, CRect rect);
    // One of the banner's window timers fired; false for any other id.
    bool OnTimer(UINT id);
    [[nodiscard]] bool Shown() const noexcept;
    void Draw(Gdiplus::Graphics& g);

    [[nodiscard]] const CString& Text() const noexcept { return text_; }
    [[nodiscard]] MsgLevel Level() const noexcept { return level_; }
    [[nodiscard]] int Alpha() const noexcept { return alpha_; }
    void SetAlpha(int alpha) noexcept { alpha_ = alpha; }
    [[nodiscard]] int Progress() const noexcept { return progress_; }
    void SetProgressValue(int progress) noexcept { progress_ = progress; }
    [[nodiscard]] int Target() const noexcept { return target_; }
    [[nodiscard]] CRect Rect() const noexcept { return rect_; }

  private:
    [[nodiscard]] bool WindowLives() const noexcept;

    const PaintWindow& window_;
    FontTable& fonts_;  // the text's face
    CString text_;
    MsgLevel level_ = MsgInfo;
    int alpha_ = 0;  // 255 when shown, lowered while fading
    int progress_ = 0;
    int target_ = 0;
    CRect rect_;
};

}  // namespace Tessel
