#include "core/DropBitmap.h"

#include "core/DrawSurface.h"
#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace Tessel {

namespace {

// Larger images are refused rather than allocated.
constexpr LONG kMaxSide = 32768;
constexpr UINT kMaxPath = 32767;

// A packed DIB as dropped: the header, its colour table and the pixels must all lie inside the block.
HBITMAP BitmapFromPackedDib(HGLOBAL block) {
    const SIZE_T size = ::GlobalSize(block);
    GlobalLockScope locked(block);
    const auto* info = static_cast<const BITMAPINFO*>(locked.data());
    if (info == nullptr || size < sizeof(BITMAPINFOHEADER))
        return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size || h.biWidth <= 0 || h.biWidth > kMaxSide ||
        h.biHeight == 0 || std::abs(h.biHeight) > kMaxSide || h.biPlanes != 1 ||
        (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) || h.biBitCount == 0)
        return nullptr;
    SIZE_T colours = h.biClrUsed != 0 ? h.biClrUsed : (h.biBitCount <= 8 ? (SIZE_T{1} << h.biBitCount) : 0);
    if (h.biCompression == BI_BITFIELDS && h.biSize == sizeof(BITMAPINFOHEADER))
        colours += 3;
    const SIZE_T stride = ((static_cast<SIZE_T>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    const SIZE_T pixels = stride * static_cast<SIZE_T>(std::abs(h.biHeight));
    const SIZE_T offset = h.biSize + colours * sizeof(RGBQUAD);
    if (colours > 256 + 3 || offset > size || pixels > size - offset)
        return nullptr;
    WindowDC screen(nullptr);
    return ::CreateDIBitmap(screen.get(), &h, CBM_INIT, reinterpret_cast<const BYTE*>(info) + offset, info,
                            DIB_RGB_COLORS);
}

HBITMAP BitmapFromFirstFile(HDROP drop) {
    const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0 || length > kMaxPath)
        return nullptr;
    std::wstring path(length + 1, L'\0');
    if (::DragQueryFileW(drop, 0, path.data(), length + 1) == 0)
        return nullptr;
    path.resize(length);
    Gdiplus::Bitmap image(path.c_str());
    HBITMAP result = nullptr;
    if (image.GetLastStatus() != Gdiplus::Ok ||
        image.GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &result) != Gdiplus::Ok)
        return nullptr;
    return result;
}

HBITMAP BitmapFromMetafile(HENHMETAFILE metafile) {
    ENHMETAHEADER header = {};
    if (::GetEnhMetaFileHeader(metafile, sizeof(header), &header) == 0)
        return nullptr;
    RECT bounds = {0, 0, header.rclBounds.right - header.rclBounds.left + 1,
                   header.rclBounds.bottom - header.rclBounds.top + 1};
    if (bounds.right <= 0 || bounds.bottom <= 0 || bounds.right > kMaxSide || bounds.bottom > kMaxSide)
        return nullptr;
    DrawSurface surface;
    if (!surface.Create(nullptr, bounds.right, bounds.bottom))
        return nullptr;
    ::PatBlt(surface.GetDC(), 0, 0, bounds.right, bounds.bottom, WHITENESS);
    ::PlayEnhMetaFile(surface.GetDC(), metafile, &bounds);
    return surface.DetachBitmap();
}

}  // namespace

HBITMAP BitmapFromDrop(const FORMATETC& format, const STGMEDIUM& medium) {
    if (format.cfFormat == CF_DIB && medium.tymed == TYMED_HGLOBAL)
        return BitmapFromPackedDib(medium.hGlobal);
    if (format.cfFormat == CF_BITMAP && medium.tymed == TYMED_GDI)
        return static_cast<HBITMAP>(::CopyImage(medium.hBitmap, IMAGE_BITMAP, 0, 0, 0));
    if (format.cfFormat == CF_HDROP && medium.tymed == TYMED_HGLOBAL)
        return BitmapFromFirstFile(static_cast<HDROP>(medium.hGlobal));
    if (format.cfFormat == CF_ENHMETAFILE && medium.tymed == TYMED_ENHMF)
        return BitmapFromMetafile(medium.hEnhMetaFile);
    return nullptr;
}

}  // namespace Tessel
