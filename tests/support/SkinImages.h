#pragma once

// Skin images for tests: PNG files written with GDI+ into the skin folder beside the test executable, where
// the library looks for them. GDI+ must be running.

#include "TestSupport.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <string>

namespace testing_support {

// The skin folder beside the test executable (with a trailing backslash), created when missing.
inline std::wstring SkinFolder() {
    std::wstring folder = TestDir() + L"skins";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\theme1\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// Writes a w × h PNG to `path` whose pixel (x, y) is colour(x, y) (0xAARRGGBB); without a colour the image
// is transparent. True when written.
inline bool WritePng(const std::wstring& path, int w, int h, const std::function<DWORD(int, int)>& colour) {
    Gdiplus::Bitmap bitmap(w, h, PixelFormat32bppARGB);
    if (colour) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                bitmap.SetPixel(x, y, Gdiplus::Color(colour(x, y)));
            }
        }
    }
    const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// The same PNG named `name` in the skin folder.
inline bool WriteSkinImage(const std::wstring& name, int w, int h,
                           const std::function<DWORD(int, int)>& colour = nullptr) {
    return WritePng(SkinFolder() + name, w, h, colour);
}

}  // namespace testing_support
