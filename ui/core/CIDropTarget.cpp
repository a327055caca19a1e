#include "core/CIDropTarget.h"

#include "core/ComInterface.h"

namespace Tessel {

namespace {

// Copy when Ctrl is held or the source offers no move; move otherwise.
DWORD ChooseEffect(bool allow, DWORD keys, DWORD offered) noexcept {
    if (!allow)
        return DROPEFFECT_NONE;
    if ((keys & MK_CONTROL) != 0 || (offered & DROPEFFECT_MOVE) == 0)
        return offered & DROPEFFECT_COPY;
    return DROPEFFECT_MOVE;
}

}  // namespace

CIDropTarget::CIDropTarget() noexcept = default;

CIDropTarget::~CIDropTarget() {
    RevokeTarget();
}

BOOL CIDropTarget::RegisterTarget(HWND hwnd) {
    if (hwnd == nullptr || !::IsWindow(hwnd))
        return FALSE;
    if (m_hRegistered == hwnd)
        return TRUE;
    RevokeTarget();
    if (FAILED(::RegisterDragDrop(hwnd, this)))
        return FALSE;
    m_hRegistered = hwnd;
    m_hTargetWnd = hwnd;
    return TRUE;
}

void CIDropTarget::RevokeTarget() noexcept {
    if (m_hRegistered != nullptr && ::IsWindow(m_hRegistered))
        ::RevokeDragDrop(m_hRegistered);
    m_hRegistered = nullptr;
}

HRESULT STDMETHODCALLTYPE CIDropTarget::QueryInterface(REFIID riid, void** object) {
    return QueryOneInterface(static_cast<IDropTarget*>(this), riid, IID_IDropTarget, object);
}

ULONG STDMETHODCALLTYPE CIDropTarget::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
}

ULONG STDMETHODCALLTYPE CIDropTarget::Release() {
    LONG refs = ::InterlockedDecrement(&m_refs);
    return refs > 0 ? static_cast<ULONG>(refs) : 0;
}

void CIDropTarget::AddSuportedFormat(const FORMATETC& format) {
    m_formats.push_back(format);
}

FORMATETC* CIDropTarget::FindFormat(IDataObject* data) {
    if (data == nullptr)
        return nullptr;
    for (FORMATETC& format : m_formats) {
        if (data->QueryGetData(&format) == S_OK)
            return &format;
    }
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CIDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL, DWORD* effect) {
    if (effect == nullptr)
        return E_INVALIDARG;
    m_bAllowDrop = FindFormat(data) != nullptr;
    m_dropEffect = ChooseEffect(m_bAllowDrop, keys, *effect);
    *effect = m_dropEffect;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CIDropTarget::DragOver(DWORD keys, POINTL, DWORD* effect) {
    if (effect == nullptr)
        return E_INVALIDARG;
    m_dropEffect = ChooseEffect(m_bAllowDrop, keys, *effect);
    *effect = m_dropEffect;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CIDropTarget::DragLeave() {
    m_bAllowDrop = false;
    m_dropEffect = DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CIDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (data == nullptr || effect == nullptr)
        return E_INVALIDARG;
    FORMATETC* format = m_bAllowDrop ? FindFormat(data) : nullptr;
    m_bAllowDrop = false;
    if (format == nullptr) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    STGMEDIUM medium = {};
    if (FAILED(data->GetData(format, &medium))) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    DWORD chosen = m_dropEffect;
    if (!OnDrop(format, medium, &chosen))
        chosen = DROPEFFECT_NONE;
    ::ReleaseStgMedium(&medium);
    *effect = chosen;
    return S_OK;
}

}  // namespace Tessel
