#pragma once

// Internal: QueryInterface of the library's small COM objects, each of which implements IUnknown and one
// interface.

#include <windows.h>
#include <unknwn.h>

namespace Tessel {

// `self` for IUnknown and `iid` (with a reference added), E_NOINTERFACE for anything else.
template <typename Interface>
HRESULT QueryOneInterface(Interface* self, REFIID riid, REFIID iid, void** object) noexcept {
    if (object == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == iid) {
        *object = self;
        self->AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

}  // namespace Tessel
