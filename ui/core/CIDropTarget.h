#pragma once

#include "core/TesselApi.h"

#include <windows.h>
#include <ole2.h>

#include <vector>

namespace Tessel {

// An OLE drop target for one window. It accepts the first of its listed formats that a dragged object
// offers and hands the data to OnDrop. The object is owned by whoever embeds it: the reference count only
// tracks OLE's references and never deletes it, so the window must be revoked before the object goes.
class TESSEL_API CIDropTarget : public IDropTarget {
  public:
    CIDropTarget() noexcept;
    CIDropTarget(const CIDropTarget&) = delete;
    CIDropTarget& operator=(const CIDropTarget&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
    virtual ~CIDropTarget();
    // The data of an accepted format; true when it was taken.
    virtual bool OnDrop(FORMATETC* format, STGMEDIUM& medium, DWORD* effect) = 0;

    void AddSuportedFormat(const FORMATETC& format);
    void SetTargetWnd(HWND hwnd) noexcept { m_hTargetWnd = hwnd; }
    [[nodiscard]] HWND GetTargetWnd() const noexcept { return m_hTargetWnd; }
    // Registers the window with OLE (which needs OleInitialize on the thread); FALSE on failure.
    BOOL RegisterTarget(HWND hwnd);
    // Drops the registration while the window still exists; the destructor does it at the latest.
    void RevokeTarget() noexcept;
    [[nodiscard]] BOOL IsRegistered() const noexcept { return m_hRegistered != nullptr; }

  private:
    // The first listed format that the object offers, or null.
    [[nodiscard]] FORMATETC* FindFormat(IDataObject* data);

    LONG m_refs = 0;
    HWND m_hTargetWnd = nullptr;   // not owned
    HWND m_hRegistered = nullptr;  // the window registered with OLE; not owned
    std::vector<FORMATETC> m_formats;
    bool m_bAllowDrop = false;  // the object being dragged offers a listed format
    DWORD m_dropEffect = DROPEFFECT_NONE;
};

}  // namespace Tessel
