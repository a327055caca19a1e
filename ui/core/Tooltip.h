#pragma once

// One common-controls tool tip per engine, covering the paint window's whole client area. It is created on
// the first text and then only gets new text and is switched on and off. The common-controls library is
// loaded with it, not with the program: a panel whose controls show no tips never needs it.

#include "win/Handle.h"

#include <windows.h>

namespace Tessel {

class Tooltip {
  public:
    // An empty or null text switches the tip off.
    void Set(HWND paintWnd, const wchar_t* text) noexcept;
    void Clear(HWND paintWnd) noexcept;
    // Mouse messages reach the tip so that it can time its appearance.
    void Relay(MSG* msg) noexcept;

    void SetControlId(int id) noexcept { controlId_ = id; }
    [[nodiscard]] int ControlId() const noexcept { return controlId_; }
    [[nodiscard]] HWND Window() const noexcept { return window_.get(); }

  private:
    bool CreateWindowFor(HWND paintWnd) noexcept;
    void SetText(HWND paintWnd, const wchar_t* text, BOOL activate) noexcept;

    UniqueModule library_;  // holds the tip's window class; freed after the window
    UniqueWindow window_;
    int controlId_ = 0;  // the control whose tip is shown
};

}  // namespace Tessel
