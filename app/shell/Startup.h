#pragma once

#include <windows.h>

// Takes the single-instance mutex named after the product title. Returns false when another instance already
// holds it; the mutex handle (kept for the life of the process, never closed) is stored in *mutex otherwise.
// A mutex that cannot be created at all counts as being the first instance.
[[nodiscard]] bool ClaimSingleInstance(HANDLE* mutex) noexcept;

// The running instance's main window: the first top-level window that carries the product-title property.
[[nodiscard]] HWND FindRunningInstanceWindow() noexcept;

// Small primary screens (narrower than 1400 or lower than 800 pixels, as reported before the process is
// DPI-aware) make the process DPI-aware; larger ones leave the scaling to the system.
[[nodiscard]] constexpr bool ShouldBecomeDpiAware(int screenWidth, int screenHeight) noexcept {
    return screenWidth < 1400 || screenHeight < 800;
}
