#include "core/Manager.h"

#include <cmath>
#include <limits>
#include <string>

namespace Tessel {

HINSTANCE Manager::m_hInstance = nullptr;
CString Manager::m_fontname = L"Arial";
int Manager::m_fontwidth = 14;
float Manager::m_scale_value = 1.0f;
Gdiplus::Color Manager::m_select_color = Gdiplus::Color(0xFFBD30FF);
ULONG_PTR Manager::m_gdiplusToken = 0;
Gdiplus::GdiplusStartupInput Manager::m_gdiplusStartupInput;

void Manager::SetInstance(HINSTANCE instance) noexcept {
    m_hInstance = instance;
}

HINSTANCE Manager::GetInstance() noexcept {
    return m_hInstance;
}

CString Manager::GetTheme() {
    return CString(L"theme1\\");
}

CString Manager::GetAppFolder() {
    // The buffer grows until the whole path fits: a truncated path would point the skins somewhere else.
    std::wstring path(MAX_PATH, L'\0');
    HMODULE exe = ::GetModuleHandleW(nullptr);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(exe, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return CString();
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) {
            return CString();
        }
        path.resize(path.size() * 2);
    }
    // Drop the file name, keep the separator: "D:\App\Calidra.exe" -> "D:\App\", "D:\Calidra.exe" -> "D:\".
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return CString();
    }
    path.resize(slash);
    path += L'\\';
    return CString(path);
}

CString Manager::GetSkinFolder() {
    return GetAppFolder() + L"skins\\" + GetTheme();
}

CString Manager::GetFontName() {
    return m_fontname;
}

void Manager::SetFontName(const CString& name) {
    m_fontname = name;
}

int Manager::GetFontWidth() noexcept {
    return m_fontwidth;
}

void Manager::SetFontWidth(int width) noexcept {
    m_fontwidth = width;
}

void Manager::SetFont(const CString& name, int width) {
    SetFontName(name);
    SetFontWidth(width);
}

float Manager::GetScaleValue() noexcept {
    return m_scale_value;
}

void Manager::SetScaleValue(float scale) noexcept {
    m_scale_value = scale;
}

int Manager::GetScaleValue(int n) noexcept {
    float scaled = static_cast<float>(n) * m_scale_value;
    // A NaN or out-of-range product has no int value: NaN gives 0, the rest saturates.
    if (std::isnan(scaled)) {
        return 0;
    }
    if (scaled >= 2147483648.0f) {
        return std::numeric_limits<int>::max();
    }
    if (scaled <= -2147483648.0f) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(scaled);
}

Gdiplus::Color Manager::GetSelectColor() noexcept {
    return m_select_color;
}

BOOL Manager::PreTranslateMessage(MSG*) noexcept {
    return (::GetAsyncKeyState(VK_MENU) != 0 && ::GetAsyncKeyState(VK_F4) != 0) ? TRUE : FALSE;
}

void Manager::MessageLoop() noexcept {
    MSG msg;
    // GetMessageW gives -1 on an error; that ends the loop too instead of spinning.
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void Manager::InitGdiplus() noexcept {
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &m_gdiplusStartupInput, nullptr);
    (void)::CoInitialize(nullptr);
    (void)::OleInitialize(nullptr);
}

void Manager::UnInitGdiplus() noexcept {
    Gdiplus::GdiplusShutdown(m_gdiplusToken);
    ::CoUninitialize();
    ::OleUninitialize();
}

}  // namespace Tessel
