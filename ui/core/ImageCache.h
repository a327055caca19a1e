#pragma once

// The engine's skin images, each loaded once: by file name (relative to the skin folder), by resource id of
// the application, and by resource id of the library. Guarded by one lock: controls add images from inside
// callbacks that the engine makes while it walks its lists.

#include "core/RecursiveLock.h"
#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <map>
#include <memory>
#include <string>

namespace Tessel {

// One cached skin image: an image strip of `frames` equal states laid side by side.
struct ImgResInfo {
    std::unique_ptr<Gdiplus::Image> image;  // owned
    int frameWidth = 0;
    int height = 0;
    int frames = 0;
    CString name;
    UINT resourceId = 0;
};

class ImageCache {
  public:
    // The record of a skin file, loaded on first use; null when it cannot be loaded (and nothing is cached,
    // so a later call tries again).
    ImgResInfo* Add(const wchar_t* name, int frames);
    // The same for a resource of the application (fromApplication) or of the library.
    ImgResInfo* Add(UINT resourceId, const CString& type, int frames, bool fromApplication);
    void Clear();

  private:
    std::map<std::wstring, std::unique_ptr<ImgResInfo>> byName_;
    std::map<UINT, std::unique_ptr<ImgResInfo>> byAppId_;
    std::map<UINT, std::unique_ptr<ImgResInfo>> byLibId_;
    RecursiveLock lock_;
};

}  // namespace Tessel
