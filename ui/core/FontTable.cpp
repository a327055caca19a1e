#include "core/FontTable.h"

#include "core/Manager.h"

#include <utility>

namespace Tessel {

namespace {

// A library resource's bytes; they live as long as the library is loaded.
bool FindLibraryResource(UINT id, const wchar_t* type, const void*& data, DWORD& size) noexcept {
    HRSRC res = ::FindResourceW(g_hLibModule, MAKEINTRESOURCEW(id), type);
    if (res == nullptr)
        return false;
    HGLOBAL loaded = ::LoadResource(g_hLibModule, res);
    data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    size = ::SizeofResource(g_hLibModule, res);
    return data != nullptr && size != 0;
}

}  // namespace

void FontTable::AddGdiFont(UINT resourceId) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!FindLibraryResource(resourceId, L"ttf", data, size))
        return;
    DWORD count = 0;
    UniqueFontRegistration font(::AddFontMemResourceEx(const_cast<void*>(data), size, nullptr, &count));
    if (!font)
        return;
    LockGuard guard(lock_);
    gdiFonts_.push_back(std::move(font));
}

Gdiplus::FontFamily* FontTable::KeepFirstFamily(const wchar_t* name,
                                                std::unique_ptr<Gdiplus::PrivateFontCollection> collection) {
    if (collection->GetLastStatus() != Gdiplus::Ok || collection->GetFamilyCount() < 1)
        return nullptr;
    auto family = std::make_unique<Gdiplus::FontFamily>();
    INT found = 0;
    if (collection->GetFamilies(1, family.get(), &found) != Gdiplus::Ok || found < 1)
        return nullptr;
    LockGuard guard(lock_);
    Entry& entry = fonts_[name];
    entry.family = std::move(family);
    entry.collection = std::move(collection);
    return entry.family.get();
}

Gdiplus::FontFamily* FontTable::AddFile(const wchar_t* name, const wchar_t* file) {
    if (name == nullptr || *name == L'\0' || file == nullptr || *file == L'\0')
        return nullptr;
    auto collection = std::make_unique<Gdiplus::PrivateFontCollection>();
    if (collection->AddFontFile(file) != Gdiplus::Ok)
        return nullptr;
    return KeepFirstFamily(name, std::move(collection));
}

Gdiplus::FontFamily* FontTable::AddResource(const wchar_t* name, UINT resourceId) {
    if (name == nullptr || *name == L'\0')
        return nullptr;
    const void* data = nullptr;
    DWORD size = 0;
    if (!FindLibraryResource(resourceId, L"ttf", data, size))
        return nullptr;
    auto collection = std::make_unique<Gdiplus::PrivateFontCollection>();
    if (collection->AddMemoryFont(data, static_cast<INT>(size)) != Gdiplus::Ok)
        return nullptr;
    return KeepFirstFamily(name, std::move(collection));
}

Gdiplus::FontFamily* FontTable::Find(const wchar_t* name) {
    if (name == nullptr || *name == L'\0')
        return nullptr;
    LockGuard guard(lock_);
    if (auto it = fonts_.find(name); it != fonts_.end())
        return it->second.family.get();
    auto family = std::make_unique<Gdiplus::FontFamily>(name);
    if (family->GetLastStatus() != Gdiplus::Ok || !family->IsAvailable())
        return nullptr;
    Entry& entry = fonts_[name];
    entry.family = std::move(family);
    return entry.family.get();
}

void FontTable::Clear() {
    LockGuard guard(lock_);
    // Families first: they refer to their collections.
    for (auto& [name, entry] : fonts_)
        entry.family.reset();
    fonts_.clear();
    gdiFonts_.clear();
}

}  // namespace Tessel
