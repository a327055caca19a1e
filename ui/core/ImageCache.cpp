#include "core/ImageCache.h"

#include "controls/MRender.h"
#include "core/Manager.h"

namespace Tessel {

namespace {

std::unique_ptr<ImgResInfo> MakeRecord(std::unique_ptr<Gdiplus::Image> image, int frames) {
    if (!image || image->GetLastStatus() != Gdiplus::Ok || image->GetWidth() == 0)
        return nullptr;
    auto info = std::make_unique<ImgResInfo>();
    info->frames = frames;
    info->frameWidth = static_cast<int>(image->GetWidth()) / frames;
    info->height = static_cast<int>(image->GetHeight());
    info->image = std::move(image);
    return info;
}

}  // namespace

ImgResInfo* ImageCache::Add(const wchar_t* name, int frames) {
    if (name == nullptr || *name == L'\0' || frames <= 0)
        return nullptr;
    LockGuard guard(lock_);
    if (auto it = byName_.find(name); it != byName_.end())
        return it->second.get();
    auto info = MakeRecord(
        std::unique_ptr<Gdiplus::Image>(MRender::LoadImageFromFile(Manager::GetSkinFolder() + name)), frames);
    if (!info)
        return nullptr;
    info->name = name;
    return byName_.emplace(name, std::move(info)).first->second.get();
}

ImgResInfo* ImageCache::Add(UINT resourceId, const CString& type, int frames, bool fromApplication) {
    if (frames <= 0 || type.IsEmpty())
        return nullptr;
    LockGuard guard(lock_);
    auto& cache = fromApplication ? byAppId_ : byLibId_;
    if (auto it = cache.find(resourceId); it != cache.end())
        return it->second.get();
    HMODULE module = fromApplication ? Manager::GetInstance() : g_hLibModule;
    auto info = MakeRecord(
        std::unique_ptr<Gdiplus::Image>(MRender::LoadImageFromIDResource(resourceId, type, module)), frames);
    if (!info)
        return nullptr;
    info->resourceId = resourceId;
    return cache.emplace(resourceId, std::move(info)).first->second.get();
}

void ImageCache::Clear() {
    LockGuard guard(lock_);
    byName_.clear();
    byAppId_.clear();
    byLibId_.clear();
}

}  // namespace Tessel
