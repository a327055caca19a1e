#pragma once

// The engine's fonts: GDI+ families kept by name (from font files, from the library's "ttf" resource, or
// looked up among the installed fonts) and the process-wide GDI registrations of the library's font. One
// lock guards both.

#include "core/RecursiveLock.h"
#include "res/TesselResources.h"
#include "win/Handle.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tessel {

// The TrueType font the library carries and its family name.
inline constexpr UINT kLibraryFontId = IDR_LIBRARY_FONT;
inline constexpr wchar_t kLibraryFontName[] = L"Open Sans Semibold";

class FontTable {
  public:
    ~FontTable() { Clear(); }

    // Registers the library's "ttf" resource for the process (GDI); a missing resource does nothing.
    void AddGdiFont(UINT resourceId);
    // The first family of a font file or of the library's "ttf" resource, kept under `name`; null on failure.
    Gdiplus::FontFamily* AddFile(const wchar_t* name, const wchar_t* file);
    Gdiplus::FontFamily* AddResource(const wchar_t* name, UINT resourceId);
    // The family kept under `name`, else the installed family of that face (then kept); null when unknown.
    Gdiplus::FontFamily* Find(const wchar_t* name);
    void Clear();

  private:
    struct Entry {
        std::unique_ptr<Gdiplus::PrivateFontCollection> collection;  // backs a private family; may be null
        std::unique_ptr<Gdiplus::FontFamily> family;
    };
    Gdiplus::FontFamily* KeepFirstFamily(const wchar_t* name,
                                         std::unique_ptr<Gdiplus::PrivateFontCollection> collection);

    std::map<std::wstring, Entry> fonts_;
    std::vector<UniqueFontRegistration> gdiFonts_;
    RecursiveLock lock_;
};

}  // namespace Tessel
