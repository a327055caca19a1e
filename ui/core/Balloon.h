#pragma once

// The engine's balloon message (MAirBladder): created on first use as a popup owned by the paint window,
// shown and hidden on request. With an owner id, only that owner may hide it.

#include "core/MAirBladder.h"

#include <windows.h>

#include <memory>

namespace Tessel {

class Balloon {
  public:
    BOOL SetMessage(HWND paintWnd, const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type,
                    AIRBLADDER_MODE mode);
    BOOL Show(BOOL show, int owner);
    [[nodiscard]] MAirBladder* Window() const noexcept { return window_.get(); }

  private:
    std::unique_ptr<MAirBladder> window_;
    int owner_ = 0;
};

}  // namespace Tessel
