#include "core/AccessibleControls.h"

#include "controls/MButton.h"
#include "controls/MObject.h"
#include "controls/MText.h"
#include "core/AccessibleWindow.h"
#include "core/ControlList.h"
#include "core/InputRouter.h"
#include "core/OleAcc.h"
#include "core/PaintManager.h"

#include <algorithm>
#include <new>

namespace Tessel {

namespace {

// The default actions' names, as the system's own buttons and check boxes call them.
constexpr wchar_t kPressAction[] = L"Press";
constexpr wchar_t kCheckAction[] = L"Check";
constexpr wchar_t kUncheckAction[] = L"Uncheck";

// The message that carries a default action requested by an assistive program: wParam the child id.
UINT DefaultActionMessage() noexcept {
    static const UINT message = ::RegisterWindowMessageW(L"Tessel.DefaultAction");
    return message;
}

// Texts and pictures are often disabled only so that they never take a press: "unavailable" would mislead.
bool Interactive(LONG role) noexcept {
    return role != ROLE_SYSTEM_STATICTEXT && role != ROLE_SYSTEM_GRAPHIC;
}

}  // namespace

AccessibleControls::AccessibleControls(PaintManager& engine, ControlList& areas, ControlList& controls,
                                       InputRouter& input) noexcept
    : engine_(engine), areas_(areas), controls_(controls), input_(input) {}

AccessibleControls::~AccessibleControls() {
    Disconnect();
}

AccessibleControls::Entry* AccessibleControls::Find(const MControl* control) noexcept {
    auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.control == control; });
    return it == entries_.end() ? nullptr : &*it;
}

AccessibleControls::Entry& AccessibleControls::Get(MControl* control) {
    if (Entry* entry = Find(control))
        return *entry;
    Entry& entry = entries_.emplace_back();
    entry.control = control;
    // What the control shows from now on is measured against what it shows now.
    const AccessibleDescription d = Describe(control);
    entry.shownState = ControlState(control, d.role);
    entry.shownName = d.name;
    entry.shownValue = d.value;
    return entry;
}

template <typename Field, typename Value>
void AccessibleControls::Change(MControl* control, Field Entry::*field, Value value) {
    if (control == nullptr)
        return;
    Get(control).*field = value;
    OnControlChanged(control);
}

void AccessibleControls::SetName(MControl* control, const wchar_t* name) {
    Change(control, &Entry::name, name);
}

void AccessibleControls::SetRole(MControl* control, LONG role) {
    Change(control, &Entry::role, role);
}

void AccessibleControls::SetValue(MControl* control, const wchar_t* value) {
    Change(control, &Entry::value, value);
}

void AccessibleControls::SetChecked(MControl* control, bool checked) {
    Change(control, &Entry::checked, checked);
}

void AccessibleControls::SetFocusRing(MControl* control, const wchar_t* imageName) {
    if (control != nullptr)
        Get(control).focusRing = imageName;
}

AccessibleControls::Ring AccessibleControls::RingOf(MControl* control) {
    const Entry* entry = Find(control);
    if (entry == nullptr || entry->focusRing.IsEmpty() || !control->IsVisible())
        return {};
    const ImgResInfo* info = engine_.AddImgResInfo(entry->focusRing, 1);
    if (info == nullptr || !info->image)
        return {};
    const CRect at = control->GetRect();
    const int left = at.left + (at.Width() - info->frameWidth) / 2;
    const int top = at.top + (at.Height() - info->height) / 2;
    return {info->image.get(), CRect(left, top, left + info->frameWidth, top + info->height)};
}

AccessibleControls::Ring AccessibleControls::ShownFocusRing() {
    HWND hwnd = Window();
    if (!input_.KeyboardCues() || input_.Focus() == nullptr || hwnd == nullptr || ::GetFocus() != hwnd)
        return {};
    return RingOf(input_.Focus());
}

void AccessibleControls::RepaintFocusRing(MControl* control) {
    if (control == nullptr)
        return;
    if (const Ring ring = RingOf(control); ring.image != nullptr)
        engine_.InvalidateRect(ring.rect, FALSE);
}

HWND AccessibleControls::Window() const noexcept {
    return engine_.GetPaintWnd();
}

MControl* AccessibleControls::Focus() const noexcept {
    return input_.Focus();
}

template <typename Visit>
void AccessibleControls::ForEachControl(Visit&& visit) {
    LONG id = 0;
    for (ControlList* list : {&areas_, &controls_}) {
        LockGuard guard(list->Lock());
        for (MControl* control : list->Items()) {
            if (!visit(control, ++id))
                return;
        }
    }
}

std::vector<LONG> AccessibleControls::VisibleChildren() {
    std::vector<LONG> ids;
    ForEachControl([&](MControl* control, LONG id) {
        if (control->IsVisible())
            ids.push_back(id);
        return true;
    });
    return ids;
}

MControl* AccessibleControls::ControlOf(LONG childId) {
    MControl* found = nullptr;
    ForEachControl([&](MControl* control, LONG id) {
        if (id == childId)
            found = control;
        return found == nullptr;
    });
    return found;
}

LONG AccessibleControls::ChildIdOf(const MControl* control) {
    LONG found = CHILDID_SELF;
    ForEachControl([&](MControl* c, LONG id) {
        if (c == control)
            found = id;
        return found == CHILDID_SELF;
    });
    return found;
}

MControl* AccessibleControls::ControlAt(CPoint pt) {
    // Later controls are drawn over earlier ones: the last one that holds the point is on top.
    MControl* top = nullptr;
    ForEachControl([&](MControl* control, LONG) {
        if (control->PtInRect(pt))
            top = control;
        return true;
    });
    return top;
}

LONG AccessibleControls::ControlState(MControl* control, LONG role) {
    const Entry* entry = Find(control);
    LONG state = 0;
    if (!control->IsVisible())
        state |= STATE_SYSTEM_INVISIBLE;
    if (!control->IsEnabled() && Interactive(role))
        state |= STATE_SYSTEM_UNAVAILABLE;
    if (auto* button = dynamic_cast<MButton*>(control); button && button->GetState() == MButton::StatePressed)
        state |= STATE_SYSTEM_PRESSED;
    if (entry != nullptr && entry->checked)
        state |= STATE_SYSTEM_CHECKED;
    if (role == ROLE_SYSTEM_STATICTEXT)
        state |= STATE_SYSTEM_READONLY;
    return state;
}

AccessibleDescription AccessibleControls::Describe(MControl* control) {
    AccessibleDescription d;
    if (control == nullptr)
        return d;
    const Entry* entry = Find(control);
    if (entry != nullptr && entry->role != 0)
        d.role = entry->role;
    else if (dynamic_cast<MButton*>(control) != nullptr)
        d.role = ROLE_SYSTEM_PUSHBUTTON;
    else if (dynamic_cast<MText*>(control) != nullptr)
        d.role = ROLE_SYSTEM_STATICTEXT;
    if (entry != nullptr && !entry->name.IsEmpty())
        d.name = entry->name;
    else if (auto* titled = dynamic_cast<MControlFont*>(control))
        d.name = titled->GetTitle();
    if (entry != nullptr)
        d.value = entry->value;
    d.description = control->GetTooltip();
    d.state = ControlState(control, d.role);
    if (control->IsTabStop() && control->IsVisible() && control->IsEnabled())
        d.state |= STATE_SYSTEM_FOCUSABLE;
    HWND hwnd = Window();
    if (control == Focus() && hwnd != nullptr && ::GetFocus() == hwnd)
        d.state |= STATE_SYSTEM_FOCUSED;
    if (hwnd == nullptr || !::IsWindowVisible(hwnd))
        d.state |= STATE_SYSTEM_INVISIBLE;
    if (d.role == ROLE_SYSTEM_PUSHBUTTON)
        d.defaultAction = kPressAction;
    else if (d.role == ROLE_SYSTEM_CHECKBUTTON)
        d.defaultAction = (d.state & STATE_SYSTEM_CHECKED) != 0 ? kUncheckAction : kCheckAction;
    return d;
}

bool AccessibleControls::TakeFocus(MControl* control) {
    if (control == nullptr || !control->IsVisible() || !control->IsEnabled() || !control->IsTabStop())
        return false;
    input_.FocusByKeyboard(control);
    return true;
}

bool AccessibleControls::DoDefaultAction(MControl* control) {
    if (control == nullptr || !control->IsVisible() || !control->IsEnabled() ||
        Describe(control).defaultAction.IsEmpty())
        return false;
    control->SendMessageW(kNotifyClicked, 0, 0);
    return true;
}

bool AccessibleControls::PostDefaultAction(MControl* control) {
    const LONG id = ChildIdOf(control);
    if (id == CHILDID_SELF || !control->IsVisible() || !control->IsEnabled() ||
        Describe(control).defaultAction.IsEmpty())
        return false;
    return ::PostMessageW(Window(), DefaultActionMessage(), static_cast<WPARAM>(id), 0) != FALSE;
}

bool AccessibleControls::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (msg == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT && engine_.IsInitialized()) {
        if (!object_)
            object_.Attach(new (std::nothrow) AccessibleWindow(*this));
        // Without memory for it the window answers as one without a client object of its own.
        if (!object_)
            return false;
        result = ResultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(object_.Get()));
        return true;
    }
    if (msg == DefaultActionMessage()) {
        // The control named by the id may have gone meanwhile: the id is looked up afresh.
        DoDefaultAction(ControlOf(static_cast<LONG>(wParam)));
        result = 0;
        return true;
    }
    if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS) {
        // The ring shows only in the window that has the keyboard; a focused control comes back with it.
        RepaintFocusRing(Focus());
        if (msg == WM_SETFOCUS && Focus() != nullptr)
            OnFocusChanged(Focus());
    }
    return false;
}

void AccessibleControls::Track(MControl* control) {
    if (control != nullptr)
        (void)Get(control);
}

void AccessibleControls::OnControlChanged(MControl* control) {
    if (Entry* entry = Find(control))
        Announce(*entry);
}

void AccessibleControls::Announce(Entry& entry) {
    const AccessibleDescription d = Describe(entry.control);
    const LONG state = ControlState(entry.control, d.role);
    const LONG changed = state ^ entry.shownState;
    entry.shownState = state;
    if ((changed & STATE_SYSTEM_INVISIBLE) != 0)
        Raise((state & STATE_SYSTEM_INVISIBLE) != 0 ? EVENT_OBJECT_HIDE : EVENT_OBJECT_SHOW, entry.control);
    if ((changed & ~STATE_SYSTEM_INVISIBLE) != 0)
        Raise(EVENT_OBJECT_STATECHANGE, entry.control);
    if (!(d.name == entry.shownName)) {
        entry.shownName = d.name;
        Raise(EVENT_OBJECT_NAMECHANGE, entry.control);
    }
    if (!(d.value == entry.shownValue)) {
        entry.shownValue = d.value;
        Raise(EVENT_OBJECT_VALUECHANGE, entry.control);
    }
}

void AccessibleControls::OnFocusChanged(MControl* focus) {
    HWND hwnd = Window();
    // Only the window that has the keyboard focus has a focused object.
    if (hwnd != nullptr && ::GetFocus() == hwnd)
        ::NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd, OBJID_CLIENT, ChildIdOf(focus));
}

void AccessibleControls::Raise(DWORD event, MControl* control) noexcept {
    const LONG id = ChildIdOf(control);
    if (id != CHILDID_SELF && Window() != nullptr)
        ::NotifyWinEvent(event, Window(), OBJID_CLIENT, id);
}

void AccessibleControls::Forget(const MControl* control) noexcept {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.control == control; }),
                   entries_.end());
}

void AccessibleControls::Disconnect() noexcept {
    if (!object_)
        return;
    object_->Disconnect();
    // Proxies in other processes stop reaching the object; their calls fail from now on.
    ::CoDisconnectObject(static_cast<IAccessible*>(object_.Get()), 0);
    object_.Reset();
}

}  // namespace Tessel
