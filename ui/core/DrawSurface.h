#pragma once

// The library's one off-screen 32-bit surface: a memory DC with a DIB section selected into it. The engine's
// frame, the controls' drawing caches and the drag images are all drawn on one.

#include "win/Handle.h"
#include "core/TesselApi.h"

#include <windows.h>

namespace Tessel {

// The order of a DIB's rows in memory: top-down starts with the top line, bottom-up (GDI's default) with the
// bottom one.
enum class DibRows { TopDown, BottomUp };

// A 32-bit BI_RGB DIB section of cx × cy; *bits receives its pixels. Null (and *bits null) for an empty size
// or on failure. `reference` may be null: the pixel format does not depend on a device.
HBITMAP CreateDib32(HDC reference, int cx, int cy, DibRows rows, void** bits) noexcept;

class TESSEL_API DrawSurface {
  public:
    DrawSurface() noexcept = default;
    ~DrawSurface() { Release(); }
    DrawSurface(const DrawSurface&) = delete;
    DrawSurface& operator=(const DrawSurface&) = delete;

    // A surface of cx × cy compatible with `reference` (null: the screen); false (and no surface) on failure.
    bool Create(HDC reference, int cx, int cy, DibRows rows = DibRows::TopDown) noexcept;
    void Release() noexcept;
    // The bitmap, no longer selected, for the caller to own; the surface is released.
    [[nodiscard]] HBITMAP DetachBitmap() noexcept;

    [[nodiscard]] HDC GetDC() const noexcept { return dc_.get(); }
    [[nodiscard]] HBITMAP GetBitmap() const noexcept { return bitmap_.get(); }
    // BGRA pixels in the surface's row order; null without a surface.
    [[nodiscard]] DWORD* GetBits() const noexcept { return bits_; }
    [[nodiscard]] int Width() const noexcept { return width_; }
    [[nodiscard]] int Height() const noexcept { return height_; }
    // The pixels of line y (0 at the top) whatever the row order; y must lie inside the surface.
    [[nodiscard]] DWORD* Row(int y) const noexcept {
        const int line = rows_ == DibRows::BottomUp ? height_ - 1 - y : y;
        return bits_ + static_cast<size_t>(line) * static_cast<size_t>(width_);
    }

  private:
    UniqueBitmap bitmap_;
    UniqueMemoryDC dc_;
    HGDIOBJ displaced_ = nullptr;  // the DC's own bitmap, put back before the DC is deleted
    DWORD* bits_ = nullptr;        // owned by bitmap_
    int width_ = 0;
    int height_ = 0;
    DibRows rows_ = DibRows::TopDown;
};

}  // namespace Tessel
