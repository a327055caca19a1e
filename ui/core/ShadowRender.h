#pragma once

// Internal: where a window's drop shadow lies and what its pixels are. The shadow is computed (a rounded
// rectangle that keeps its full darkness up to its edge and fades out beyond it like a blurred edge) or
// drawn from an image as a nine-part frame. Both fill a top-down DrawSurface with premultiplied BGRA
// pixels, ready for UpdateLayeredWindow.

#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace Tessel {

class DrawSurface;

// The screen rectangle of the computed shadow of a window at `owner`: the window grown by `size` on every
// side (a negative size shrinks it, at most to its centre line), moved by `offset`, then grown by the
// `sharpness` over which the shadow fades out. Empty when nothing would show.
[[nodiscard]] CRect ShadowBounds(const CRect& owner, int size, UINT sharpness, CPoint offset) noexcept;

// The screen rectangle of an image shadow: the window grown by the image's insets (its border rows and
// columns lie around the window, its centre under it) and by `size`, moved by `offset`.
[[nodiscard]] CRect ImageShadowBounds(const CRect& owner, const CRect& insets, int size,
                                      CPoint offset) noexcept;

// The computed shadow over the whole surface: full `darkness` (alpha) in `colour` inside the rounded
// rectangle `sharpness` pixels in from the surface's edges (corner radius 8, about that of the skins'
// panels), falling smoothly to 0 at the edges.
void RenderShadow(const DrawSurface& surface, UINT sharpness, BYTE darkness, COLORREF colour) noexcept;

// `image` as a nine-part frame over the whole surface: corners kept at the insets' size, edges and centre
// stretched. Insets larger than the image are cut to it.
void RenderImageShadow(const DrawSurface& surface, Gdiplus::Image* image, const CRect& insets);

}  // namespace Tessel
