#include "core/Balloon.h"

namespace Tessel {

namespace {

// The balloon's style (0x96000080: a popup clipping its siblings and children) without WS_VISIBLE: it is
// created hidden and appears when asked to show.
constexpr DWORD kBalloonStyle = 0x96000080 & ~WS_VISIBLE;
constexpr wchar_t kBalloonName[] = L"AirBladder Window";

}  // namespace

BOOL Balloon::SetMessage(HWND paintWnd, const wchar_t* text, POINT screenPt, AIRBLADDER_TYPE type,
                         AIRBLADDER_MODE mode) {
    if (!window_) {
        if (paintWnd == nullptr || !::IsWindow(paintWnd))
            return FALSE;
        auto balloon = std::make_unique<MAirBladder>();
        if (balloon->Create(paintWnd, kBalloonName, kBalloonStyle, WS_EX_TOOLWINDOW, CRect()) == nullptr)
            return FALSE;
        balloon->SetImages(L"img_tip_bk.png", L"img_tip_arrow_left.png", L"img_tip_arrow_right.png",
                           L"img_tip_arrow_top.png");
        window_ = std::move(balloon);
    }
    window_->SetMessage(text, screenPt, type, mode);
    return TRUE;
}

BOOL Balloon::Show(BOOL show, int owner) {
    if (!window_)
        return FALSE;
    if (owner != 0) {
        if (!show && owner != owner_)
            return FALSE;
        if (show)
            owner_ = owner;
    }
    window_->ShowWindow(show ? SW_SHOWNOACTIVATE : SW_HIDE);
    return TRUE;
}

}  // namespace Tessel
