#pragma once

// The window's background: an image drawn stretched or as a nine-part frame, or, without an image, a fill
// colour inside a one-pixel border. It is rendered once for the surface's size and then only copied into
// each repaint, until the image, mode, colours or size change. The rendering is the one copy of the image's
// pixels the background keeps: the decoded image is let go once it is rendered and decoded again from its
// source for the next rendering (a panel-sized image held decoded would double the background's memory).

#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <memory>
#include <vector>

namespace Tessel {

class DrawSurface;

// How the background image covers the client area; other values draw no image.
enum enumBackMode : int {
    BackModeStretch = 0,  // stretched over the whole client area
    BackModeFrame = 1,    // nine-part frame with corners of the corner size
};

// Decodes the background image anew; null when it cannot.
using ImageSource = std::function<std::unique_ptr<Gdiplus::Image>()>;

class Background {
  public:
    // The image from `source` (empty: none), decoded now to check it; FALSE (and no image) when it cannot be
    // decoded.
    BOOL SetImage(ImageSource source);
    void SetMode(enumBackMode mode, int corner) noexcept;
    void SetColors(COLORREF fill, COLORREF border) noexcept;
    // The rendering must be rebuilt (the surface is new).
    void Discard() noexcept { renderedValid_ = false; }
    // False until the next Paint renders the whole surface anew.
    [[nodiscard]] bool Rendered() const noexcept { return renderedValid_; }

    // The image over `rect` in the current mode (decoded for the call when the rendering let it go).
    void DrawImage(Gdiplus::Graphics& g, CRect rect);
    // The background into `surface` (a bottom-up frame of the client size): all of it the first time after a
    // change, else only the `update` rectangle.
    void Paint(const DrawSurface& surface, const CRect& update);

    [[nodiscard]] bool HasImage() const noexcept { return static_cast<bool>(source_); }
    [[nodiscard]] enumBackMode Mode() const noexcept { return mode_; }
    [[nodiscard]] COLORREF FillColor() const noexcept { return fill_; }

  private:
    void DrawDecoded(Gdiplus::Graphics& g, Gdiplus::Image* image, CRect rect) const;

    ImageSource source_;
    std::unique_ptr<Gdiplus::Image> image_;  // decoded, kept only until the next rendering
    enumBackMode mode_ = BackModeStretch;
    int corner_ = 4;
    COLORREF fill_ = 0xC8C8C8;
    COLORREF border_ = 0x646464;
    std::vector<DWORD> rendered_;  // the surface's pixels as last rendered, same row order
    bool renderedValid_ = false;
};

}  // namespace Tessel
