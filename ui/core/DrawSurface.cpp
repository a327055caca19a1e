#include "core/DrawSurface.h"

#include <utility>

namespace Tessel {

HBITMAP CreateDib32(HDC reference, int cx, int cy, DibRows rows, void** bits) noexcept {
    *bits = nullptr;
    if (cx <= 0 || cy <= 0)
        return nullptr;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = rows == DibRows::TopDown ? -cy : cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HBITMAP bitmap = ::CreateDIBSection(reference, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
    if (bitmap == nullptr)
        *bits = nullptr;
    return bitmap;
}

bool DrawSurface::Create(HDC reference, int cx, int cy, DibRows rows) noexcept {
    Release();
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDib32(reference, cx, cy, rows, &bits));
    UniqueMemoryDC dc(::CreateCompatibleDC(reference));
    if (!bitmap || !dc || bits == nullptr)
        return false;
    displaced_ = ::SelectObject(dc.get(), bitmap.get());
    bitmap_ = std::move(bitmap);
    dc_ = std::move(dc);
    bits_ = static_cast<DWORD*>(bits);
    width_ = cx;
    height_ = cy;
    rows_ = rows;
    return true;
}

void DrawSurface::Release() noexcept {
    if (dc_ && displaced_ != nullptr && displaced_ != HGDI_ERROR)
        ::SelectObject(dc_.get(), displaced_);
    displaced_ = nullptr;
    dc_.reset();
    bitmap_.reset();
    bits_ = nullptr;
    width_ = 0;
    height_ = 0;
}

HBITMAP DrawSurface::DetachBitmap() noexcept {
    if (dc_ && displaced_ != nullptr && displaced_ != HGDI_ERROR)
        ::SelectObject(dc_.get(), displaced_);
    displaced_ = nullptr;
    HBITMAP bitmap = bitmap_.release();
    Release();
    return bitmap;
}

}  // namespace Tessel
