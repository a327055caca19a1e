#include "core/Tooltip.h"

#include <commctrl.h>

namespace Tessel {

namespace {

constexpr wchar_t kCommonControls[] = L"comctl32.dll";
constexpr char kInitCommonControlsEx[] = "InitCommonControlsEx";
constexpr UINT kToolId = 1313;
constexpr LPARAM kMaxTipWidth = 256;
constexpr WPARAM kTextColour = 0xFFFFFF;
// Simplified Chinese text needs a little room above the glyphs.
constexpr UINT kChineseCodePage = 936;
constexpr RECT kChineseMargin = {2, 3, 0, 0};

}  // namespace

bool Tooltip::CreateWindowFor(HWND paintWnd) noexcept {
    if (paintWnd == nullptr)
        return false;
    if (!library_)
        library_.reset(::LoadLibraryW(kCommonControls));
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = library_ ? reinterpret_cast<InitFn>(reinterpret_cast<void*>(
                                     ::GetProcAddress(library_.get(), kInitCommonControlsEx)))
                               : nullptr;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
    if (init == nullptr || !init(&icc))
        return false;
    window_.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, TOOLTIPS_CLASSW,
                                    WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, paintWnd, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr));
    if (!window_)
        return false;
    ::SendMessageW(window_.get(), TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    ::SendMessageW(window_.get(), TTM_SETTIPTEXTCOLOR, kTextColour, 0);
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_PARSELINKS;
    tool.hwnd = paintWnd;
    tool.uId = kToolId;
    ::GetClientRect(paintWnd, &tool.rect);
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(window_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (::GetACP() == kChineseCodePage) {
        RECT margin = kChineseMargin;
        ::SendMessageW(window_.get(), TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
    }
    return true;
}

void Tooltip::Set(HWND paintWnd, const wchar_t* text) noexcept {
    if (text == nullptr || *text == L'\0') {
        SetText(paintWnd, L"", FALSE);
        return;
    }
    if (!window_ && !CreateWindowFor(paintWnd))
        return;
    SetText(paintWnd, text, TRUE);
}

void Tooltip::SetText(HWND paintWnd, const wchar_t* text, BOOL activate) noexcept {
    if (!window_)
        return;
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_PARSELINKS | TTF_ABSOLUTE | TTF_TRACK;
    tool.hwnd = paintWnd;
    tool.uId = kToolId;
    tool.lpszText = const_cast<wchar_t*>(text);
    ::SendMessageW(window_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(window_.get(), TTM_ACTIVATE, activate, 0);
}

void Tooltip::Clear(HWND paintWnd) noexcept {
    if (!window_)
        return;
    SetText(paintWnd, L"", FALSE);
    controlId_ = 0;
}

void Tooltip::Relay(MSG* msg) noexcept {
    if (window_)
        ::SendMessageW(window_.get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}

}  // namespace Tessel
