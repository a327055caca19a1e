#pragma once

// The two accessibility functions the engine needs, from oleacc.dll loaded with the first request of an
// accessibility client: most sessions have none, so the library stays out of the process until one asks.
// Once loaded it stays: the objects handed out through it may be in use until the process ends.

#include <windows.h>
#include <oleacc.h>

namespace Tessel {

namespace oleacc_detail {

constexpr wchar_t kLibrary[] = L"oleacc.dll";

inline HMODULE Library() noexcept {
    // A system library: only the system folder is searched.
    static const HMODULE library = ::LoadLibraryExW(kLibrary, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return library;
}

template <typename Fn>
Fn Function(const char* name) noexcept {
    HMODULE library = Library();
    return library != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)))
                              : nullptr;
}

}  // namespace oleacc_detail

// CreateStdAccessibleObject; E_FAIL when the library cannot be loaded.
inline HRESULT StdAccessibleObject(HWND window, LONG objectId, REFIID riid, void** object) noexcept {
    using Fn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    static const Fn create = oleacc_detail::Function<Fn>("CreateStdAccessibleObject");
    return create != nullptr ? create(window, objectId, riid, object) : E_FAIL;
}

// LresultFromObject; E_FAIL (as the result) when the library cannot be loaded.
inline LRESULT ResultFromObject(REFIID riid, WPARAM wParam, IUnknown* object) noexcept {
    using Fn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    static const Fn result = oleacc_detail::Function<Fn>("LresultFromObject");
    return result != nullptr ? result(riid, wParam, object) : static_cast<LRESULT>(E_FAIL);
}

}  // namespace Tessel
