#pragma once

// The drag of a control's image out of the window: a modal OLE drag whose data object carries the image as a
// bitmap (CF_BITMAP) and as an enhanced metafile (CF_ENHMETAFILE), shown under the cursor by the shell's
// drag-image helper and anchored at its centre.

#include <windows.h>

namespace Tessel {

// Runs the drag until the button is released or Escape is pressed; `image` stays the caller's.
void RunImageDrag(HBITMAP image);

}  // namespace Tessel
