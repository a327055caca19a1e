#pragma once

#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace Tessel {

// Stateless drawing helpers shared by every part of the library that draws. They take device contexts and
// GDI+ objects from the caller and keep none. Images returned by the loaders belong to the caller (delete
// them). ARGB colours are 0xAARRGGBB; COLORREF colours 0x00BBGGRR.
class TESSEL_API MRender {
  public:
    MRender() = delete;

    // Image and icon loading; null on every failure.
    [[nodiscard]] static HICON LoadIconFromFile(CString path);
    [[nodiscard]] static Gdiplus::Image* LoadImageFromFile(CString path);
    // A cx x cy thumbnail of the file's image; 0 x 0 keeps the image's own size.
    [[nodiscard]] static Gdiplus::Image* LoadImageFromFileEx(CString path, int cx, int cy);
    [[nodiscard]] static Gdiplus::Image* LoadImageFromIDResource(UINT id, CString type, HINSTANCE module);

    // Nine-patch: the source rectangle (sx, sy, sw, sh) drawn into dst with e x e corners kept at their size.
    static void DrawImageFrame(Gdiplus::Graphics& g, Gdiplus::Image* img, const CRect& dst, int sx, int sy,
                               int sw, int sh, int e);
    // The same with separate insets: left column L, top row T, right column R, bottom row B.
    static void DrawImageFrameMID(Gdiplus::Graphics& g, Gdiplus::Image* img, const CRect& dst, int sx, int sy,
                                  int sw, int sh, int L, int T, int R, int B);

    // Row-by-row (column-by-column) constant-alpha blends of src onto dst whose transparency goes linearly
    // from `from` to `to` percent (0 opaque, 100 invisible). Return the last alpha used, 255 with no rows.
    static int DrawVerticalTransition(HDC& dst, HDC& src, const CRect& dstRect, const CRect& srcRect,
                                      int from, int to);
    static int DrawHorizontalTransition(HDC& dst, HDC& src, const CRect& dstRect, const CRect& srcRect,
                                        int from, int to);
    // Radial fade of the n x n square at the bottom-right corner of rect: opaque at the corner.
    static void DrawRightBottomTransition(HDC& dst, HDC& src, CRect rect, int n, DWORD reserved);

    static void FillSolidRect(HDC& hdc, const RECT* rect, COLORREF color);
    static void FillSolidRect(HDC& hdc, int x, int y, int cx, int cy, COLORREF color);
    static void DrawColor(HDC hdc, const RECT& rect, DWORD argb);
    // Pure black (RGB 0) becomes RGB 0x000001 so that it is not taken for a transparency key.
    static void CheckAlphaColor(DWORD& argb) noexcept;
    static void DrawGradient(HDC hdc, const RECT& rect, DWORD from, DWORD to, bool vertical, int steps);
    static void DrawRectangle(HDC& hdc, const CRect& rect, int a, int b, int c);
    static void DrawRoundRectange(Gdiplus::Graphics& g, float x, float y, float w, float h, float r,
                                  Gdiplus::Color fill);
    static void DrawRoundRectange(Gdiplus::Graphics& g, float x, float y, float w, float h, float divisor,
                                  Gdiplus::Color pen, float penWidth, bool fill, Gdiplus::Color fillColor);
    static void AddRoundedRectangle(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float r);
    static void RotatePoint(Gdiplus::PointF& p, float degrees, const Gdiplus::PointF& centre) noexcept;

    // Text measurement through a GDI+ path; placement of content in a box by the library's alignment values
    // (horizontal 0 left, 1 centre, 2 right; vertical 0 top, 4 middle, 8 bottom).
    [[nodiscard]] static Gdiplus::Size GetTextBounds(const Gdiplus::Font& font,
                                                     const Gdiplus::StringFormat& format,
                                                     const CString& text);
    [[nodiscard]] static Gdiplus::Size GetTextBounds(const Gdiplus::Font& font,
                                                     const Gdiplus::StringFormat& format, int width,
                                                     const CString& text);
    [[nodiscard]] static Gdiplus::Size GetTextBounds(const Gdiplus::Font& font, const CString& text);
    [[nodiscard]] static CPoint GetOriginPoint(int w, int h, int cw, int ch, UINT hAlign,
                                               UINT vAlign) noexcept;
    [[nodiscard]] static CPoint GetOriginPoint(CRect box, int cw, int ch, UINT hAlign, UINT vAlign) noexcept;
    static void DrawTextW(HDC hdc, CRect& rect, const wchar_t* text, COLORREF color, HFONT font, UINT format);

    [[nodiscard]] static HDC CreateCompatibleDC(HDC hdc);
    [[nodiscard]] static HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
    // 32-bit bottom-up DIB section; *bits receives the pixels. Null on failure.
    [[nodiscard]] static HBITMAP CreateARGB32Bitmap(HDC hdc, int cx, int cy, BYTE** bits);
    static BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy);
    static BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop);
    // Uncompressed BMP at the screen's depth; 1 when written, 0 otherwise.
    static int SaveBitmapToFile(HBITMAP bitmap, CString path);
    // A w x h image fitted (scaled down only, aspect kept) and centred in box.
    [[nodiscard]] static CRect GetImageRect(int w, int h, CRect box) noexcept;
};

}  // namespace Tessel
