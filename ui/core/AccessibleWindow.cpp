#include "core/AccessibleWindow.h"

#include "controls/MControl.h"
#include "core/AccessibleControls.h"
#include "core/OleAcc.h"

#include <algorithm>
#include <new>
#include <vector>

namespace Tessel {

namespace {

// A text for an out-parameter: S_FALSE and null when there is none.
HRESULT ToBstr(const CString& text, BSTR* out) {
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (text.IsEmpty())
        return S_FALSE;
    *out = ::SysAllocString(text.GetString());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

void SetId(VARIANT* v, LONG id) noexcept {
    v->vt = VT_I4;
    v->lVal = id;
}

HRESULT NoChild(VARIANT* v) noexcept {
    v->vt = VT_EMPTY;
    return S_FALSE;
}

// Whether `to` lies wholly beyond `from` in a direction.
bool Beyond(LONG direction, const CRect& from, const CRect& to) noexcept {
    switch (direction) {
        case NAVDIR_LEFT:
            return to.right <= from.left;
        case NAVDIR_RIGHT:
            return to.left >= from.right;
        case NAVDIR_UP:
            return to.bottom <= from.top;
        case NAVDIR_DOWN:
            return to.top >= from.bottom;
        default:
            return false;
    }
}

// The square of the distance between two centres.
LONG CentreDistance(const CRect& a, const CRect& b) noexcept {
    const LONG dx = b.CenterPoint().x - a.CenterPoint().x;
    const LONG dy = b.CenterPoint().y - a.CenterPoint().y;
    return dx * dx + dy * dy;
}

// Nothing thrown leaves a call that came through COM: a call that ran out of memory says so.
template <typename Call>
HRESULT Guarded(Call&& call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace

AccessibleWindow::AccessibleWindow(AccessibleControls& controls) noexcept : controls_(&controls) {}

void AccessibleWindow::Disconnect() noexcept {
    controls_ = nullptr;
    standard_.Reset();
}

HRESULT AccessibleWindow::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
        *object = static_cast<IAccessible*>(this);
    } else if (riid == IID_IEnumVARIANT) {
        *object = static_cast<IEnumVARIANT*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG AccessibleWindow::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}

ULONG AccessibleWindow::Release() {
    const LONG refs = ::InterlockedDecrement(&refs_);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

HRESULT AccessibleWindow::GetTypeInfoCount(UINT* count) {
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT AccessibleWindow::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::Resolve(const VARIANT& child, LONG& id) {
    if (controls_ == nullptr)
        return CO_E_OBJNOTCONNECTED;
    if (child.vt != VT_I4)
        return E_INVALIDARG;
    id = child.lVal;
    return id == CHILDID_SELF || controls_->ControlOf(id) != nullptr ? S_OK : E_INVALIDARG;
}

IAccessible* AccessibleWindow::Standard() {
    if (!standard_ && controls_ != nullptr)
        StdAccessibleObject(controls_->Window(), OBJID_CLIENT, __uuidof(IAccessible), &standard_);
    return standard_.Get();
}

IAccessible* AccessibleWindow::StandardForSelf(const VARIANT& child) {
    return controls_ != nullptr && child.vt == VT_I4 && child.lVal == CHILDID_SELF ? Standard() : nullptr;
}

HRESULT AccessibleWindow::get_accParent(IDispatch** parent) {
    if (parent == nullptr)
        return E_POINTER;
    *parent = nullptr;
    if (controls_ == nullptr)
        return CO_E_OBJNOTCONNECTED;
    IAccessible* standard = Standard();
    return standard != nullptr ? standard->get_accParent(parent) : S_FALSE;
}

HRESULT AccessibleWindow::get_accChildCount(LONG* count) {
    return Guarded([&]() -> HRESULT {
        if (count == nullptr)
            return E_POINTER;
        if (controls_ == nullptr)
            return CO_E_OBJNOTCONNECTED;
        *count = static_cast<LONG>(controls_->VisibleChildren().size());
        return S_OK;
    });
}

HRESULT AccessibleWindow::get_accChild(VARIANT child, IDispatch** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    LONG id = 0;
    if (HRESULT hr = Resolve(child, id); FAILED(hr))
        return hr;
    // The children are simple elements: the client object answers for them by id.
    return id == CHILDID_SELF ? E_INVALIDARG : S_FALSE;
}

HRESULT AccessibleWindow::ChildText(const VARIANT& child, BSTR* out, CString AccessibleDescription::*text) {
    return Guarded([&]() -> HRESULT {
        LONG id = 0;
        if (HRESULT hr = Resolve(child, id); FAILED(hr))
            return hr;
        if (id == CHILDID_SELF || text == nullptr)
            return ToBstr(CString(), out);
        return ToBstr(controls_->Describe(controls_->ControlOf(id)).*text, out);
    });
}

HRESULT AccessibleWindow::get_accName(VARIANT child, BSTR* name) {
    // The window's own name is its title, as the system tells it.
    if (IAccessible* standard = StandardForSelf(child))
        return standard->get_accName(child, name);
    return ChildText(child, name, &AccessibleDescription::name);
}

HRESULT AccessibleWindow::get_accValue(VARIANT child, BSTR* value) {
    return ChildText(child, value, &AccessibleDescription::value);
}

HRESULT AccessibleWindow::get_accDescription(VARIANT child, BSTR* description) {
    return ChildText(child, description, &AccessibleDescription::description);
}

HRESULT AccessibleWindow::ChildNumber(const VARIANT& child, VARIANT* out, LONG AccessibleDescription::*number,
                                      LONG self) {
    return Guarded([&]() -> HRESULT {
        if (out == nullptr)
            return E_POINTER;
        LONG id = 0;
        if (HRESULT hr = Resolve(child, id); FAILED(hr))
            return hr;
        SetId(out, id == CHILDID_SELF ? self : controls_->Describe(controls_->ControlOf(id)).*number);
        return S_OK;
    });
}

HRESULT AccessibleWindow::get_accRole(VARIANT child, VARIANT* role) {
    return ChildNumber(child, role, &AccessibleDescription::role, ROLE_SYSTEM_CLIENT);
}

HRESULT AccessibleWindow::get_accState(VARIANT child, VARIANT* state) {
    // The window's own state (focused, invisible, ...) as the system tells it.
    if (IAccessible* standard = StandardForSelf(child))
        return standard->get_accState(child, state);
    return ChildNumber(child, state, &AccessibleDescription::state, 0);
}

HRESULT AccessibleWindow::get_accHelp(VARIANT child, BSTR* help) {
    return ChildText(child, help, nullptr);
}

HRESULT AccessibleWindow::get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) {
    if (topic != nullptr)
        *topic = -1;
    return ChildText(child, file, nullptr);
}

HRESULT AccessibleWindow::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    return ChildText(child, shortcut, nullptr);
}

HRESULT AccessibleWindow::get_accFocus(VARIANT* child) {
    if (child == nullptr)
        return E_POINTER;
    child->vt = VT_EMPTY;
    if (controls_ == nullptr)
        return CO_E_OBJNOTCONNECTED;
    if (::GetFocus() != controls_->Window())
        return S_FALSE;
    MControl* focus = controls_->Focus();
    SetId(child, focus != nullptr && focus->IsVisible() ? controls_->ChildIdOf(focus) : CHILDID_SELF);
    return S_OK;
}

HRESULT AccessibleWindow::get_accSelection(VARIANT* children) {
    if (children == nullptr)
        return E_POINTER;
    if (controls_ == nullptr)
        return CO_E_OBJNOTCONNECTED;
    return NoChild(children);
}

HRESULT AccessibleWindow::get_accDefaultAction(VARIANT child, BSTR* action) {
    return ChildText(child, action, &AccessibleDescription::defaultAction);
}

HRESULT AccessibleWindow::accSelect(LONG flags, VARIANT child) {
    return Guarded([&]() -> HRESULT {
        LONG id = 0;
        if (HRESULT hr = Resolve(child, id); FAILED(hr))
            return hr;
        if (id == CHILDID_SELF)
            return Standard() != nullptr ? Standard()->accSelect(flags, child) : S_FALSE;
        // The controls have no selection; only the focus can be given.
        if (flags != SELFLAG_TAKEFOCUS)
            return E_INVALIDARG;
        return controls_->TakeFocus(controls_->ControlOf(id)) ? S_OK : S_FALSE;
    });
}

HRESULT AccessibleWindow::accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr)
        return E_POINTER;
    LONG id = 0;
    if (HRESULT hr = Resolve(child, id); FAILED(hr))
        return hr;
    if (id == CHILDID_SELF && Standard() != nullptr)
        return Standard()->accLocation(left, top, width, height, child);
    CRect rect;
    if (id == CHILDID_SELF)
        ::GetClientRect(controls_->Window(), &rect);
    else
        rect = controls_->ControlOf(id)->GetRect();
    POINT origin = rect.TopLeft();
    ::ClientToScreen(controls_->Window(), &origin);
    *left = origin.x;
    *top = origin.y;
    *width = rect.Width();
    *height = rect.Height();
    return S_OK;
}

HRESULT AccessibleWindow::accNavigate(LONG direction, VARIANT start, VARIANT* end) {
    return Guarded([&]() -> HRESULT {
        if (end == nullptr)
            return E_POINTER;
        end->vt = VT_EMPTY;
        LONG id = 0;
        if (HRESULT hr = Resolve(start, id); FAILED(hr))
            return hr;
        const std::vector<LONG> children = controls_->VisibleChildren();
        if (id == CHILDID_SELF) {
            if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
                if (children.empty())
                    return S_FALSE;
                SetId(end, direction == NAVDIR_FIRSTCHILD ? children.front() : children.back());
                return S_OK;
            }
            // Among the window's own parts (caption, scroll bars, ...), as the system tells them.
            return Standard() != nullptr ? Standard()->accNavigate(direction, start, end) : S_FALSE;
        }
        switch (direction) {
            case NAVDIR_FIRSTCHILD:
            case NAVDIR_LASTCHILD:
                return E_INVALIDARG;
            case NAVDIR_NEXT:
            case NAVDIR_PREVIOUS: {
                // In the order of the children; a hidden start still has its place in it.
                auto it = direction == NAVDIR_NEXT ? std::upper_bound(children.begin(), children.end(), id)
                                                   : std::lower_bound(children.begin(), children.end(), id);
                if (direction == NAVDIR_NEXT ? it == children.end() : it == children.begin())
                    return S_FALSE;
                SetId(end, direction == NAVDIR_NEXT ? *it : *(it - 1));
                return S_OK;
            }
            case NAVDIR_UP:
            case NAVDIR_DOWN:
            case NAVDIR_LEFT:
            case NAVDIR_RIGHT: {
                // The nearest visible child, centre to centre, of those that lie wholly that way.
                const CRect from = controls_->ControlOf(id)->GetRect();
                LONG best = -1;
                for (LONG other : children) {
                    const CRect to = controls_->ControlOf(other)->GetRect();
                    const LONG distance = CentreDistance(from, to);
                    if (other != id && Beyond(direction, from, to) && (best < 0 || distance < best)) {
                        best = distance;
                        SetId(end, other);
                    }
                }
                return best >= 0 ? S_OK : S_FALSE;
            }
            default:
                return E_INVALIDARG;
        }
    });
}

HRESULT AccessibleWindow::accHitTest(LONG x, LONG y, VARIANT* child) {
    if (child == nullptr)
        return E_POINTER;
    child->vt = VT_EMPTY;
    if (controls_ == nullptr)
        return CO_E_OBJNOTCONNECTED;
    HWND hwnd = controls_->Window();
    POINT pt = {x, y};
    CRect client;
    if (!::IsWindowVisible(hwnd) || !::ScreenToClient(hwnd, &pt) || !::GetClientRect(hwnd, &client) ||
        !client.PtInRect(pt))
        return S_FALSE;
    MControl* control = controls_->ControlAt(pt);
    SetId(child, control != nullptr ? controls_->ChildIdOf(control) : CHILDID_SELF);
    return S_OK;
}

HRESULT AccessibleWindow::accDoDefaultAction(VARIANT child) {
    return Guarded([&]() -> HRESULT {
        LONG id = 0;
        if (HRESULT hr = Resolve(child, id); FAILED(hr))
            return hr;
        if (id == CHILDID_SELF || !controls_->PostDefaultAction(controls_->ControlOf(id)))
            return DISP_E_MEMBERNOTFOUND;
        return S_OK;
    });
}

HRESULT AccessibleWindow::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    return Guarded([&]() -> HRESULT {
        if (items == nullptr || (fetched == nullptr && count != 1))
            return E_POINTER;
        if (controls_ == nullptr)
            return CO_E_OBJNOTCONNECTED;
        const std::vector<LONG> children = controls_->VisibleChildren();
        ULONG n = 0;
        for (; n < count && cursor_ < children.size(); ++n, ++cursor_)
            SetId(&items[n], children[cursor_]);
        if (fetched != nullptr)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    });
}

HRESULT AccessibleWindow::Skip(ULONG count) {
    return Guarded([&]() -> HRESULT {
        if (controls_ == nullptr)
            return CO_E_OBJNOTCONNECTED;
        const ULONG size = static_cast<ULONG>(controls_->VisibleChildren().size());
        const bool enough = count <= size && cursor_ <= size - count;
        cursor_ = enough ? cursor_ + count : size;
        return enough ? S_OK : S_FALSE;
    });
}

HRESULT AccessibleWindow::Reset() {
    cursor_ = 0;
    return S_OK;
}

HRESULT AccessibleWindow::Clone(IEnumVARIANT** copy) {
    // A copy would be a second client object that the window's end does not disconnect.
    if (copy != nullptr)
        *copy = nullptr;
    return E_NOTIMPL;
}

}  // namespace Tessel
