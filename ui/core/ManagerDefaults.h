#pragma once

// Library-wide defaults kept by Manager, read in one place. Until Manager carries the font defaults and the
// skin folder, the values it starts with are used.

#include "core/Manager.h"
#include "core/Types.h"

#include <windows.h>
#include <shlwapi.h>

namespace Tessel::defaults {

template <class M = Manager>
[[nodiscard]] CString FontName() {
    if constexpr (requires { M::GetFontName(); })
        return CString(M::GetFontName());
    else
        return CString(L"Arial");
}

template <class M = Manager>
[[nodiscard]] int FontWidth() {
    if constexpr (requires { M::GetFontWidth(); })
        return M::GetFontWidth();
    else
        return 14;
}

template <class M = Manager>
[[nodiscard]] float ScaleValue() {
    if constexpr (requires { M::GetScaleValue(); })
        return M::GetScaleValue();
    else
        return 1.0f;
}

template <class M = Manager>
[[nodiscard]] CString SkinFolder() {
    if constexpr (requires { M::GetSkinFolder(); }) {
        return CString(M::GetSkinFolder());
    } else {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(::GetModuleHandleW(nullptr), path, MAX_PATH);
        ::PathRemoveFileSpecW(path);
        ::PathAddBackslashW(path);
        return CString(path) + L"skins\\theme1\\";
    }
}

}  // namespace Tessel::defaults
