#include "update/ZipTargetPath.h"

#include "update/ZipEntry.h"

#include <windows.h>

namespace {

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) noexcept {
    return path.size() >= folder.size() &&
           ::CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                  static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

uint32_t PlaceInside(const std::wstring& base, std::wstring full, bool folder, std::wstring* target) {
    while (!full.empty() && full.back() == L'\\') {
        full.pop_back();
    }
    const bool inside = full.size() > base.size() && StartsWithFolder(full, base);
    const bool isBase = folder && full.size() + 1 == base.size() && StartsWithFolder(full + L'\\', base);
    if (!inside && !isBase) {
        return kZipEntryUnsafeName;
    }
    const size_t pending = full.rfind(L'\\') + 1 + kPendingNameLength;
    if (full.size() >= MAX_PATH || (!folder && pending >= MAX_PATH)) {
        return kZipEntryNameTooLong;
    }
    *target = std::move(full);
    return kZipEntryDone;
}
