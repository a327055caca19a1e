#pragma once

#include "core/TesselApi.h"

#include <windows.h>

namespace Tessel {

// Process-wide state of the library. Static members only; never instantiated.
class TESSEL_API Manager {
  public:
    Manager() = delete;

    // The application module: window classes are registered and application resources loaded with it.
    static void SetInstance(HINSTANCE instance) noexcept;
    [[nodiscard]] static HINSTANCE GetInstance() noexcept;

    static HINSTANCE m_hInstance;
};

}  // namespace Tessel

// The library's own module handle, taken when the DLL attaches.
extern "C" TESSEL_API HINSTANCE g_hLibModule;
