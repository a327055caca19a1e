#include "core/Banner.h"

#include "core/ControlTimers.h"
#include "core/FontTable.h"
#include "core/Manager.h"
#include "core/PaintWindow.h"

#include <algorithm>

namespace Tessel {

namespace {

// A message holds for kHoldMs, then fades by kFadeStep every kFadeStepMs and is gone below kFadeEnd. The
// progress bar moves by kProgressStep every kProgressStepMs, and jumps when fewer than kProgressJump remain.
constexpr UINT kHoldMs = 3000;
constexpr UINT kFadeStepMs = 50;
constexpr UINT kProgressStepMs = 10;
enum : int { kFadeStep = 10, kFadeEnd = 20, kProgressStep = 2, kProgressJump = 6 };
// The band of an empty rectangle: from 60 to 2 pixels above the client's bottom.
enum : int { kBandTop = 60, kBandBottom = 2 };

Gdiplus::ARGB BannerColor(MsgLevel level) noexcept {
    switch (level) {
        case MsgWarning:
            return 0xC8A06400;
        case MsgError:
            return 0xC8A02828;
        default:
            return 0xC8323232;
    }
}

}  // namespace

bool Banner::WindowLives() const noexcept {
    HWND hwnd = window_.Handle();
    return hwnd != nullptr && ::IsWindow(hwnd);
}

void Banner::SetMessage(const CString& text, CRect rect, MsgLevel level) {
    if (HWND hwnd = window_.Handle()) {
        ::KillTimer(hwnd, kBannerHoldTimer);
        ::KillTimer(hwnd, kBannerFadeTimer);
    }
    alpha_ = 255;
    text_ = text;
    level_ = level;
    rect_ = rect;
    progress_ = 0;
    target_ = 0;
    window_.InvalidateRect(rect, FALSE);
    if (WindowLives())
        ::SetTimer(window_.Handle(), kBannerHoldTimer, kHoldMs, nullptr);
}

void Banner::SetProgress(int percent, const CString& text, CRect rect) {
    if (percent == target_)
        return;
    const bool window = WindowLives();
    HWND hwnd = window_.Handle();
    if (percent < 5 && window)
        ::KillTimer(hwnd, kBannerFadeTimer);
    alpha_ = 255;
    text_ = text;
    target_ = percent;
    if (rect.IsRectEmpty()) {
        const CRect client = window_.ClientRect();
        rect = CRect(client.left, client.bottom - kBandTop, client.right, client.bottom - kBandBottom);
    }
    rect_ = rect;
    if (static_cast<long long>(percent) - progress_ < kProgressJump) {
        progress_ = percent;
        window_.InvalidateRect(rect, FALSE);
        if (percent >= 100 && window)
            ::SetTimer(hwnd, kBannerFadeTimer, kFadeStepMs, nullptr);
    } else if (window) {
        ::SetTimer(hwnd, kBannerProgressTimer, kProgressStepMs, nullptr);
    }
}

bool Banner::OnTimer(UINT id) {
    HWND hwnd = window_.Handle();
    switch (id) {
        case kBannerHoldTimer:
            ::KillTimer(hwnd, kBannerHoldTimer);
            ::SetTimer(hwnd, kBannerFadeTimer, kFadeStepMs, nullptr);
            return true;
        case kBannerFadeTimer:
            alpha_ -= kFadeStep;
            if (alpha_ < kFadeEnd) {
                alpha_ = 0;
                progress_ = 0;
                ::KillTimer(hwnd, kBannerFadeTimer);
                window_.Invalidate();
            }
            window_.InvalidateRect(rect_, FALSE);
            return true;
        case kBannerProgressTimer:
            progress_ = std::min(progress_ + kProgressStep, target_);
            if (progress_ >= target_)
                ::KillTimer(hwnd, kBannerProgressTimer);
            window_.InvalidateRect(rect_, FALSE);
            if (progress_ >= 100)
                ::SetTimer(hwnd, kBannerFadeTimer, kFadeStepMs, nullptr);
            return true;
        default:
            return false;
    }
}

bool Banner::Shown() const noexcept {
    return alpha_ > 0 && !rect_.IsRectEmpty() && (!text_.IsEmpty() || target_ > 0);
}

void Banner::Draw(Gdiplus::Graphics& g) {
    if (!Shown())
        return;
    const int alpha = std::min(alpha_, 255);
    const Gdiplus::ARGB base = BannerColor(level_);
    const auto scaled = static_cast<Gdiplus::ARGB>(((base >> 24) * alpha) / 255);
    Gdiplus::SolidBrush back(Gdiplus::Color((scaled << 24) | (base & 0xFFFFFF)));
    const Gdiplus::Rect box(rect_.left, rect_.top, rect_.Width(), rect_.Height());
    g.FillRectangle(&back, box);
    if (target_ > 0) {
        // Progress: a thin bar along the bottom edge.
        const int progress = std::clamp(progress_, 0, 100);
        Gdiplus::SolidBrush bar(Gdiplus::Color(static_cast<BYTE>(alpha), 0x3C, 0xB4, 0x50));
        g.FillRectangle(&bar, box.X, box.GetBottom() - 3, box.Width * progress / 100, 3);
    }
    Gdiplus::FontFamily* family = fonts_.Find(Manager::GetFontName());
    if (family == nullptr || text_.IsEmpty())
        return;
    Gdiplus::Font font(family, 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    Gdiplus::SolidBrush text(Gdiplus::Color(static_cast<BYTE>(alpha), 0xFF, 0xFF, 0xFF));
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    g.DrawString(text_, -1, &font,
                 Gdiplus::RectF(static_cast<float>(box.X), static_cast<float>(box.Y),
                                static_cast<float>(box.Width), static_cast<float>(box.Height)),
                 &format, &text);
}

}  // namespace Tessel
