#pragma once

// Resource ids of Tessel.dll's own resources, shared by Tessel.rc and the code that loads them.
#define IDR_SCROLL_H_IMAGE 101  // "PNG": the horizontal scroll-bar thumb strip
#define IDR_SCROLL_V_IMAGE 102  // "PNG": the vertical scroll-bar thumb strip
#define IDR_LIBRARY_FONT 106    // "ttf": the library's TrueType font
