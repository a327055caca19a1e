#include "core/DragSource.h"

#include "core/ComInterface.h"
#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <ole2.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstring>
#include <utility>
#include <vector>

namespace Tessel {

namespace {

using Microsoft::WRL::ComPtr;

// A copy of a global memory block; null when it cannot be made.
HGLOBAL CopyGlobal(HGLOBAL from) {
    const SIZE_T size = ::GlobalSize(from);
    UniqueGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!copy)
        return nullptr;
    {
        GlobalLockScope to(copy.get());
        GlobalLockScope source(from);
        if (to.data() == nullptr)
            return nullptr;
        if (source.data() != nullptr)
            std::memcpy(to.data(), source.data(), size);
    }
    return copy.release();
}

// The image's data object: the bitmap as CF_BITMAP and as an enhanced metafile, plus whatever the shell's
// drag-image helper stores on it.
class DragData final : public IDataObject {
  public:
    DragData(HBITMAP bitmap, HENHMETAFILE metafile) noexcept : bitmap_(bitmap), metafile_(metafile) {}
    ~DragData() {
        for (auto& [format, medium] : stored_)
            ::ReleaseStgMedium(&medium);
    }
    DragData(const DragData&) = delete;
    DragData& operator=(const DragData&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return QueryOneInterface(static_cast<IDataObject*>(this), riid, IID_IDataObject, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr)
            return E_INVALIDARG;
        *medium = {};
        if (format->cfFormat == CF_BITMAP && (format->tymed & TYMED_GDI) != 0 && bitmap_ != nullptr) {
            medium->tymed = TYMED_GDI;
            medium->hBitmap = static_cast<HBITMAP>(::CopyImage(bitmap_, IMAGE_BITMAP, 0, 0, 0));
            return medium->hBitmap != nullptr ? S_OK : E_OUTOFMEMORY;
        }
        if (format->cfFormat == CF_ENHMETAFILE && (format->tymed & TYMED_ENHMF) != 0 && metafile_) {
            medium->tymed = TYMED_ENHMF;
            medium->hEnhMetaFile = ::CopyEnhMetaFileW(metafile_.get(), nullptr);
            return medium->hEnhMetaFile != nullptr ? S_OK : E_OUTOFMEMORY;
        }
        for (auto& [stored, held] : stored_) {
            if (stored.cfFormat == format->cfFormat && held.tymed == TYMED_HGLOBAL &&
                (format->tymed & TYMED_HGLOBAL) != 0) {
                HGLOBAL copy = CopyGlobal(held.hGlobal);
                if (copy == nullptr)
                    return E_OUTOFMEMORY;
                medium->tymed = TYMED_HGLOBAL;
                medium->hGlobal = copy;
                return S_OK;
            }
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (format == nullptr)
            return E_INVALIDARG;
        if ((format->cfFormat == CF_BITMAP && (format->tymed & TYMED_GDI) != 0) ||
            (format->cfFormat == CF_ENHMETAFILE && (format->tymed & TYMED_ENHMF) != 0))
            return S_OK;
        for (auto& [stored, held] : stored_) {
            if (stored.cfFormat == format->cfFormat && (format->tymed & held.tymed) != 0)
                return S_OK;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out != nullptr)
            out->ptd = nullptr;
        return E_NOTIMPL;
    }
    // The drag-image helper keeps its own blocks here; only global memory is taken.
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
        if (format == nullptr || medium == nullptr || medium->tymed != TYMED_HGLOBAL || !release)
            return E_NOTIMPL;
        for (auto& [stored, held] : stored_) {
            if (stored.cfFormat == format->cfFormat) {
                ::ReleaseStgMedium(&held);
                held = *medium;
                return S_OK;
            }
        }
        stored_.emplace_back(*format, *medium);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (out == nullptr)
            return E_INVALIDARG;
        if (direction != DATADIR_GET)
            return E_NOTIMPL;
        std::vector<FORMATETC> formats = {{CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI},
                                          {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF}};
        for (auto& [stored, held] : stored_)
            formats.push_back(stored);
        return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  private:
    LONG refs_ = 1;
    HBITMAP bitmap_;  // not owned: the caller's image outlives the drag
    UniqueEnhMetafile metafile_;
    std::vector<std::pair<FORMATETC, STGMEDIUM>> stored_;
};

class DropSource final : public IDropSource {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return QueryOneInterface(static_cast<IDropSource*>(this), riid, IID_IDropSource, object);
    }
    // Lives on the stack of the drag.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape)
            return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) == 0 ? DRAGDROP_S_DROP : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// The bitmap played into an enhanced metafile of its size.
HENHMETAFILE MetafileOf(HBITMAP bitmap) {
    BITMAP info = {};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(info), &info) == 0)
        return nullptr;
    HDC recorder = ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    if (recorder == nullptr)
        return nullptr;
    UniqueMemoryDC source(::CreateCompatibleDC(nullptr));
    if (source) {
        SelectionScope selected(source.get(), bitmap);
        ::BitBlt(recorder, 0, 0, info.bmWidth, info.bmHeight, source.get(), 0, 0, SRCCOPY);
    }
    return ::CloseEnhMetaFile(recorder);
}

// Hands the shell's drag-image helper a copy of the image (it takes ownership of what it is given).
void AttachDragImage(HBITMAP image, IDataObject* data) {
    BITMAP info = {};
    ComPtr<IDragSourceHelper> helper;
    if (image == nullptr || ::GetObjectW(image, sizeof(info), &info) == 0 ||
        FAILED(
            ::CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&helper))))
        return;
    SHDRAGIMAGE drag = {};
    drag.sizeDragImage = {info.bmWidth, info.bmHeight};
    drag.ptOffset = {info.bmWidth / 2, info.bmHeight / 2};
    UniqueBitmap copy(static_cast<HBITMAP>(::CopyImage(image, IMAGE_BITMAP, 0, 0, 0)));
    drag.hbmpDragImage = copy.get();
    drag.crColorKey = CLR_NONE;
    if (copy && SUCCEEDED(helper->InitializeFromBitmap(&drag, data)))
        (void)copy.release();
}

}  // namespace

void RunImageDrag(HBITMAP image) {
    ComPtr<DragData> data;
    data.Attach(new DragData(image, MetafileOf(image)));
    AttachDragImage(image, data.Get());
    DropSource source;
    DWORD effect = DROPEFFECT_NONE;
    ::DoDragDrop(data.Get(), &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
}

}  // namespace Tessel
