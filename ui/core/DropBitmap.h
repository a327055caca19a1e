#pragma once

// What the engine's drop target accepts, turned into a bitmap for the window: a packed DIB, a bitmap, the
// first of the dropped files loaded as an image, or a played enhanced metafile. Dropped data comes from
// another program: every size in it is checked before a byte is read.

#include <windows.h>
#include <ole2.h>

namespace Tessel {

// The formats, in the order they are offered to the drop target.
inline constexpr FORMATETC kDropFormats[] = {
    {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI},
    {CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
    {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
    {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF},
};

// A new bitmap (owned by the caller) of the dropped data; null when the data is of another kind or unusable.
[[nodiscard]] HBITMAP BitmapFromDrop(const FORMATETC& format, const STGMEDIUM& medium);

}  // namespace Tessel
