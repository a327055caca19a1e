#include "controls/MRender.h"

#include "core/DrawSurface.h"
#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace Tessel {

namespace {

using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

// msimg32's blending and gradient entry points, resolved once per process and kept.
struct Msimg32 {
    AlphaBlendFn alphaBlend = nullptr;
    GradientFillFn gradientFill = nullptr;
};

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

const Msimg32& Msimg() {
    static const Msimg32 entries = [] {
        Msimg32 e;
        // Never freed: the entry points are used for the life of the process.
        HMODULE module = ::LoadLibraryW(L"msimg32.dll");
        if (module) {
            e.alphaBlend = Resolve<AlphaBlendFn>(module, "AlphaBlend");
            e.gradientFill = Resolve<GradientFillFn>(module, "GradientFill");
        }
        return e;
    }();
    return entries;
}

BOOL Blend(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, BYTE alpha) {
    AlphaBlendFn blend = Msimg().alphaBlend;
    if (!blend) {
        return FALSE;
    }
    BLENDFUNCTION bf{AC_SRC_OVER, 0, alpha, 0};
    return blend(dst, x, y, cx, cy, src, sx, sy, cx, cy, bf);
}

void DrawPiece(Gdiplus::Graphics& g, Gdiplus::Image* img, int dx, int dy, int dw, int dh, int sx, int sy,
               int sw, int sh) {
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) {
        return;
    }
    g.DrawImage(img, Gdiplus::Rect(dx, dy, dw, dh), sx, sy, sw, sh, Gdiplus::UnitPixel);
}

int Transition(HDC dst, HDC src, const CRect& dstRect, const CRect& srcRect, int from, int to,
               bool vertical) {
    const int n = vertical ? dstRect.Height() : dstRect.Width();
    if (n <= 0) {
        return 255;
    }
    // Percentages outside 0..100 have no meaning as transparency; clamping keeps every alpha in 0..255.
    from = std::clamp(from, 0, 100);
    to = std::clamp(to, 0, 100);
    const int hi = 255 - std::min(from, to) * 255 / 100;
    const int lo = (100 - std::max(from, to)) * 255 / 100;
    const double step = static_cast<double>(hi - lo) / n;
    int alpha = 255;
    for (int i = 0; i < n; ++i) {
        alpha = (from < to ? static_cast<int>(hi - i * step) : static_cast<int>(lo + i * step)) & 0xFF;
        if (vertical) {
            Blend(dst, dstRect.left, dstRect.top + i, dstRect.Width(), 1, src, srcRect.left, srcRect.top + i,
                  static_cast<BYTE>(alpha));
        } else {
            Blend(dst, dstRect.left + i, dstRect.top, 1, dstRect.Height(), src, srcRect.left + i, srcRect.top,
                  static_cast<BYTE>(alpha));
        }
    }
    return alpha;
}

BYTE Channel(DWORD argb, int shift) {
    return static_cast<BYTE>((argb >> shift) & 0xFF);
}

// Both colours' RGB at full opacity; the caller applies the overall alpha.
void FillGradient(HDC hdc, const RECT& rect, DWORD from, DWORD to, bool vertical, int steps) {
    if (GradientFillFn gradient = Msimg().gradientFill) {
        auto vertex = [](LONG x, LONG y, DWORD argb) {
            return TRIVERTEX{x,
                             y,
                             static_cast<COLOR16>(Channel(argb, 16) << 8),
                             static_cast<COLOR16>(Channel(argb, 8) << 8),
                             static_cast<COLOR16>(Channel(argb, 0) << 8),
                             0xFF00};
        };
        TRIVERTEX v[2] = {vertex(rect.left, rect.top, from), vertex(rect.right, rect.bottom, to)};
        GRADIENT_RECT gr{0, 1};
        gradient(hdc, v, 2, &gr, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
        return;
    }
    // Without GradientFill: 2^k solid bands, more for more requested steps.
    int k = steps < 4 ? 1 : steps < 8 ? 2 : steps < 16 ? 3 : steps < 32 ? 4 : steps < 64 ? 5 : 6;
    int bands = 1 << k;
    int extent = vertical ? rect.bottom - rect.top : rect.right - rect.left;
    for (int b = 0; b < bands; ++b) {
        auto mix = [&](int shift) {
            int a = Channel(from, shift);
            int z = Channel(to, shift);
            return static_cast<BYTE>(a + (z - a) * b / (bands - 1));
        };
        RECT band = rect;
        int start = static_cast<int>(static_cast<long long>(extent) * b / bands);
        int end = static_cast<int>(static_cast<long long>(extent) * (b + 1) / bands);
        if (vertical) {
            band.top = rect.top + start;
            band.bottom = rect.top + end;
        } else {
            band.left = rect.left + start;
            band.right = rect.left + end;
        }
        MRender::FillSolidRect(hdc, &band, RGB(mix(16), mix(8), mix(0)));
    }
}

// Corner arcs of a w x h rectangle with corner ellipses of 2rx x 2ry, clockwise from the top-left corner.
void AddRoundedFigure(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float rx, float ry) {
    if (!(rx > 0.0f) || !(ry > 0.0f)) {
        path.AddRectangle(Gdiplus::RectF(x, y, w, h));
        return;
    }
    const float dx = 2.0f * rx;
    const float dy = 2.0f * ry;
    path.StartFigure();
    path.AddArc(x, y, dx, dy, 180.0f, 90.0f);
    path.AddArc(x + w - dx, y, dx, dy, 270.0f, 90.0f);
    path.AddArc(x + w - dx, y + h - dy, dx, dy, 0.0f, 90.0f);
    path.AddArc(x, y + h - dy, dx, dy, 90.0f, 90.0f);
    path.CloseFigure();
}

float LineHeight(const Gdiplus::Font& font, const Gdiplus::FontFamily& family) {
    INT style = font.GetStyle();
    UINT16 em = family.GetEmHeight(style);
    if (em == 0) {
        return 0.0f;
    }
    return font.GetSize() * family.GetLineSpacing(style) / em;
}

}  // namespace

void MRender::DrawImageFrame(Gdiplus::Graphics& g, Gdiplus::Image* img, const CRect& dst, int sx, int sy,
                             int sw, int sh, int e) {
    DrawImageFrameMID(g, img, dst, sx, sy, sw, sh, e, e, e, e);
}

void MRender::DrawImageFrameMID(Gdiplus::Graphics& g, Gdiplus::Image* img, const CRect& dst, int sx, int sy,
                                int sw, int sh, int L, int T, int R, int B) {
    if (!img) {
        return;
    }
    const int l = dst.left;
    const int t = dst.top;
    const int r = dst.right;
    const int b = dst.bottom;
    const int midW = r - l - L - R;
    const int midH = b - t - T - B;
    const int srcMidW = sw - L - R;
    const int srcMidH = sh - T - B;
    DrawPiece(g, img, l, t, L, T, sx, sy, L, T);
    DrawPiece(g, img, l, t + T, L, midH, sx, sy + T, L, srcMidH);
    DrawPiece(g, img, l, b - B, L, B, sx, sy + sh - B, L, B);
    DrawPiece(g, img, l + L, t, midW, T, sx + L, sy, srcMidW, T);
    DrawPiece(g, img, r - R, t, R, T, sx + sw - R, sy, R, T);
    DrawPiece(g, img, r - R, t + T, R, midH, sx + sw - R, sy + T, R, srcMidH);
    DrawPiece(g, img, r - R, b - B, R, B, sx + sw - R, sy + sh - B, R, B);
    DrawPiece(g, img, l + L, b - B, midW, B, sx + L, sy + sh - B, srcMidW, B);
    DrawPiece(g, img, l + L, t + T, midW, midH, sx + L, sy + T, srcMidW, srcMidH);
}

int MRender::DrawVerticalTransition(HDC& dst, HDC& src, const CRect& dstRect, const CRect& srcRect, int from,
                                    int to) {
    return Transition(dst, src, dstRect, srcRect, from, to, true);
}

int MRender::DrawHorizontalTransition(HDC& dst, HDC& src, const CRect& dstRect, const CRect& srcRect,
                                      int from, int to) {
    return Transition(dst, src, dstRect, srcRect, from, to, false);
}

void MRender::DrawRightBottomTransition(HDC& dst, HDC& src, CRect rect, int n, DWORD) {
    if (n <= 0) {
        return;
    }
    // The square is kept inside the rectangle.
    const int spanX = std::min(n, static_cast<int>(rect.Width()));
    const int spanY = std::min(n, static_cast<int>(rect.Height()));
    for (int j = 0; j < spanY; ++j) {
        for (int i = 0; i < spanX; ++i) {
            double d = std::sqrt(static_cast<double>(i) * i + static_cast<double>(j) * j);
            int alpha = static_cast<int>(255.0 - 255.0 / n * std::min(static_cast<double>(n), d));
            if (alpha <= 0) {
                continue;
            }
            int x = rect.right - 1 - i;
            int y = rect.bottom - 1 - j;
            Blend(dst, x, y, 1, 1, src, x, y, static_cast<BYTE>(alpha));
        }
    }
}

void MRender::FillSolidRect(HDC& hdc, const RECT* rect, COLORREF color) {
    if (!rect) {
        return;
    }
    COLORREF old = ::SetBkColor(hdc, color);
    ::ExtTextOutW(hdc, 0, 0, ETO_OPAQUE, rect, L"", 0, nullptr);
    ::SetBkColor(hdc, old);
}

void MRender::FillSolidRect(HDC& hdc, int x, int y, int cx, int cy, COLORREF color) {
    RECT rect{x, y, x + cx, y + cy};
    FillSolidRect(hdc, &rect, color);
}

void MRender::DrawColor(HDC hdc, const RECT& rect, DWORD argb) {
    if ((argb >> 24) == 0) {
        return;
    }
    Gdiplus::Graphics g(hdc);
    Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
    g.FillRectangle(&brush, static_cast<INT>(rect.left), static_cast<INT>(rect.top),
                    static_cast<INT>(rect.right - rect.left), static_cast<INT>(rect.bottom - rect.top));
}

void MRender::CheckAlphaColor(DWORD& argb) noexcept {
    if ((argb & 0x00FFFFFF) == 0) {
        argb += 1;
    }
}

void MRender::DrawGradient(HDC hdc, const RECT& rect, DWORD from, DWORD to, bool vertical, int steps) {
    const int alpha = (static_cast<int>(from >> 24) + static_cast<int>(to >> 24)) / 2;
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    if (alpha == 0 || w <= 0 || h <= 0) {
        return;
    }
    if (alpha >= 255) {
        FillGradient(hdc, rect, from, to, vertical, steps);
        return;
    }
    UniqueMemoryDC memory(::CreateCompatibleDC(hdc));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(hdc, w, h));
    if (!memory || !bitmap) {
        return;
    }
    SelectionScope selected(memory.get(), bitmap.get());
    HDC mem = memory.get();
    FillGradient(mem, RECT{0, 0, w, h}, from, to, vertical, steps);
    Blend(hdc, rect.left, rect.top, w, h, mem, 0, 0, static_cast<BYTE>(alpha));
}

void MRender::DrawRectangle(HDC&, const CRect&, int, int, int) {}

void MRender::DrawRoundRectange(Gdiplus::Graphics& g, float x, float y, float w, float h, float r,
                                Gdiplus::Color fill) {
    Gdiplus::GraphicsPath path;
    AddRoundedFigure(path, x, y, w, h, r, r);
    Gdiplus::SolidBrush brush(fill);
    g.FillPath(&brush, &path);
}

void MRender::DrawRoundRectange(Gdiplus::Graphics& g, float x, float y, float w, float h, float divisor,
                                Gdiplus::Color pen, float penWidth, bool fill, Gdiplus::Color fillColor) {
    // A non-positive or non-finite divisor gives no usable radius: square corners then.
    float rx = 0.0f;
    float ry = 0.0f;
    if (divisor > 0.0f && std::isfinite(divisor)) {
        rx = w / divisor * 0.5f;
        ry = h / divisor * 0.5f;
        if (std::fabs(rx - ry) > 10.0f) {
            rx = ry = std::min(rx, ry);
        }
    }
    Gdiplus::GraphicsPath path;
    AddRoundedFigure(path, x, y, w, h, rx, ry);
    if (fill) {
        Gdiplus::SolidBrush brush(fillColor);
        g.FillPath(&brush, &path);
    }
    Gdiplus::Pen outline(pen, penWidth);
    g.DrawPath(&outline, &path);
}

void MRender::AddRoundedRectangle(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float r) {
    AddRoundedFigure(path, x, y, w, h, r, r);
}

void MRender::RotatePoint(Gdiplus::PointF& p, float degrees, const Gdiplus::PointF& centre) noexcept {
    const double radians = degrees * 3.1415926 / 180.0;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double dx = p.X - centre.X;
    const double dy = p.Y - centre.Y;
    p.X = static_cast<float>(centre.X + dx * c - dy * s);
    p.Y = static_cast<float>(centre.Y + dx * s + dy * c);
}

Gdiplus::Size MRender::GetTextBounds(const Gdiplus::Font& font, const Gdiplus::StringFormat& format,
                                     const CString& text) {
    Gdiplus::FontFamily family;
    if (font.GetFamily(&family) != Gdiplus::Ok) {
        return Gdiplus::Size(0, 0);
    }
    Gdiplus::GraphicsPath path;
    path.AddString(text.GetString(), text.GetLength(), &family, font.GetStyle(), font.GetSize(),
                   Gdiplus::PointF(0.0f, 0.0f), &format);
    Gdiplus::RectF bounds;
    path.GetBounds(&bounds);
    const float lineHeight = LineHeight(font, family);
    const int whole = static_cast<int>(lineHeight);
    const int height = whole + (lineHeight > static_cast<float>(whole) ? 4 : 1);
    const int width = text.IsEmpty() ? 0 : static_cast<int>(std::ceil(bounds.Width));
    return Gdiplus::Size(width, height);
}

Gdiplus::Size MRender::GetTextBounds(const Gdiplus::Font& font, const Gdiplus::StringFormat& format,
                                     int width, const CString& text) {
    Gdiplus::FontFamily family;
    if (font.GetFamily(&family) != Gdiplus::Ok) {
        return Gdiplus::Size(0, 0);
    }
    // A zero layout width means no limit to GDI+, so a non-positive width measures one unwrapped line.
    const float layoutWidth = width > 0 ? static_cast<float>(width) : 0.0f;
    Gdiplus::GraphicsPath path;
    path.AddString(text.GetString(), text.GetLength(), &family, font.GetStyle(), font.GetSize(),
                   Gdiplus::RectF(0.0f, 0.0f, layoutWidth, 0.0f), &format);
    Gdiplus::RectF bounds;
    path.GetBounds(&bounds);
    const float lineHeight = LineHeight(font, family);
    const float pathHeight = text.IsEmpty() ? 0.0f : bounds.Y + bounds.Height;
    // Two pixels below the lowest ink so descenders and antialiasing are never clipped.
    const int height = static_cast<int>(std::ceil(std::max(lineHeight, pathHeight))) + 2;
    const int measured = text.IsEmpty() ? 0 : static_cast<int>(std::ceil(bounds.X + bounds.Width));
    return Gdiplus::Size(width > 0 ? std::min(measured, width) : measured, height);
}

Gdiplus::Size MRender::GetTextBounds(const Gdiplus::Font& font, const CString& text) {
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentNear);
    format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap | Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
    return GetTextBounds(font, format, text);
}

CPoint MRender::GetOriginPoint(int w, int h, int cw, int ch, UINT hAlign, UINT vAlign) noexcept {
    // 64-bit arithmetic: sizes near the int range must not overflow on the way.
    auto offset = [](int box, int content, UINT align, UINT centre, UINT end) -> LONG {
        long long room = static_cast<long long>(box) - content;
        long long v = align == centre ? room / 2 : align == end ? room : 0;
        return static_cast<LONG>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
    };
    return CPoint(offset(w, cw, hAlign, 1, 2), offset(h, ch, vAlign, 4, 8));
}

CPoint MRender::GetOriginPoint(CRect box, int cw, int ch, UINT hAlign, UINT vAlign) noexcept {
    CPoint p = GetOriginPoint(box.Width(), box.Height(), cw, ch, hAlign, vAlign);
    return CPoint(box.left + p.x, box.top + p.y + 2);
}

void MRender::DrawTextW(HDC hdc, CRect& rect, const wchar_t* text, COLORREF color, HFONT font, UINT format) {
    if (!text) {
        return;
    }
    int oldMode = ::SetBkMode(hdc, TRANSPARENT);
    COLORREF oldColor = ::SetTextColor(hdc, color);
    {
        // Without a font of its own the text takes the one selected into the DC.
        std::optional<SelectionScope> selected;
        if (font) {
            selected.emplace(hdc, font);
        }
        ::DrawTextW(hdc, text, -1, &rect, format);
    }
    ::SetTextColor(hdc, oldColor);
    ::SetBkMode(hdc, oldMode);
}

HDC MRender::CreateCompatibleDC(HDC hdc) {
    return ::CreateCompatibleDC(hdc);
}

HBITMAP MRender::CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    return ::CreateCompatibleBitmap(hdc, cx, cy);
}

HBITMAP MRender::CreateARGB32Bitmap(HDC hdc, int cx, int cy, BYTE** bits) {
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDib32(hdc, cx, cy, DibRows::BottomUp, &pixels);
    if (bits) {
        *bits = static_cast<BYTE*>(pixels);
    }
    return bitmap;
}

BOOL MRender::BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy) {
    return ::BitBlt(dst, x, y, cx, cy, src, sx, sy, SRCCOPY);
}

BOOL MRender::BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop) {
    return ::BitBlt(dst, x, y, cx, cy, src, sx, sy, rop);
}

CRect MRender::GetImageRect(int w, int h, CRect box) noexcept {
    const long long bw = box.Width();
    const long long bh = box.Height();
    if (w <= 0 || h <= 0 || bw <= 0 || bh <= 0) {
        // Nothing to fit: an empty rectangle at the box's centre.
        CPoint c = box.CenterPoint();
        return CRect(c.x, c.y, c.x, c.y);
    }
    long long fw = w;
    long long fh = h;
    if (fw > bw || fh > bh) {
        // Compare the aspect ratios w / h and bw / bh without division.
        if (fw * bh > bw * fh) {
            fh = fh * bw / fw;
            fw = bw;
        } else {
            fw = fw * bh / fh;
            fh = bh;
        }
    }
    const LONG left = static_cast<LONG>(box.left + (bw - fw) / 2);
    const LONG top = static_cast<LONG>(box.top + (bh - fh) / 2);
    return CRect(left, top, left + static_cast<LONG>(fw), top + static_cast<LONG>(fh));
}

}  // namespace Tessel
