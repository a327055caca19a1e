#pragma once

// Internal: the client object of a window whose controls the engine draws, as MSAA sees it. The window's own
// properties (its name, place, parent and state) come from the system's standard client object; the
// children, hit-testing, navigation, focus and default actions from AccessibleControls. Its children are
// also what its IEnumVARIANT lists, which is how AccessibleChildren reads them.
//
// The object lives on the window's thread, where the engine's messages run; calls from other processes
// reach it through COM on that thread. Once the window goes it is disconnected and every call fails with
// CO_E_OBJNOTCONNECTED. Every call answers with an HRESULT; nothing it throws leaves it.

#include "core/AccessibleControls.h"

#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

namespace Tessel {

class AccessibleWindow final : public IAccessible, public IEnumVARIANT {
  public:
    explicit AccessibleWindow(AccessibleControls& controls) noexcept;
    AccessibleWindow(const AccessibleWindow&) = delete;
    AccessibleWindow& operator=(const AccessibleWindow&) = delete;

    void Disconnect() noexcept;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: no type information; assistive programs call the interface directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

    // IEnumVARIANT over the visible children, as VT_I4 child ids.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

  private:
    ~AccessibleWindow() = default;

    // S_OK with `id` for the object itself (CHILDID_SELF) or a child; E_INVALIDARG for anything else, and
    // CO_E_OBJNOTCONNECTED once the window has gone.
    HRESULT Resolve(const VARIANT& child, LONG& id);
    // A text of a child's description (none for a null `text`); the client object's own is empty.
    HRESULT ChildText(const VARIANT& child, BSTR* out, CString AccessibleDescription::*text);
    // A number of a child's description; `self` for the client object.
    HRESULT ChildNumber(const VARIANT& child, VARIANT* out, LONG AccessibleDescription::*number, LONG self);
    // The standard client object of the window, made on first use; null when the system has none.
    IAccessible* Standard();
    // The standard client object when `child` names the client object itself; null otherwise.
    IAccessible* StandardForSelf(const VARIANT& child);

    LONG refs_ = 1;
    AccessibleControls* controls_;  // not owned; null once disconnected
    Microsoft::WRL::ComPtr<IAccessible> standard_;
    ULONG cursor_ = 0;  // the enumeration's place among the visible children
};

}  // namespace Tessel
