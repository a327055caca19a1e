#pragma once

// The engine's side of accessibility: what assistive programs (screen readers, magnifiers, test tools) learn
// about the window's controls through MSAA, and the WinEvents that tell them that something changed.
//
// The window answers WM_GETOBJECT (OBJID_CLIENT) with its client object (AccessibleWindow.h), whose children
// are the engine's top-level controls as simple elements. A child id is the control's place among the area
// controls followed by the ordinary controls, counted from 1, so it stays while controls are shown and
// hidden. The children listed are the visible controls; a hidden control's id still answers, with
// STATE_SYSTEM_INVISIBLE, so that an event about it can be read.
//
// By its class a button (MButton) is a push button named by its title, a text (MText) static text named by
// its text, and anything else a graphic named by its title, if it has one. A dialog may name a control and
// give it another role, a value and a checked state. Push and check buttons have a default action: the
// control reports a click (kNotifyClicked) to its parent, as a button does when it is clicked. Space and
// Enter perform it on the focused tab stop; an assistive program through accDoDefaultAction.
//
// Other processes reach the client object through COM: the window's thread must have initialised it (the
// program initialises OLE before it creates its windows).

#include "core/Types.h"

#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <vector>

namespace Gdiplus {
class Image;
}

namespace Tessel {

class AccessibleWindow;
class ControlList;
class InputRouter;
class MControl;
class PaintManager;

// What an assistive program is told about one control.
struct AccessibleDescription {
    LONG role = ROLE_SYSTEM_GRAPHIC;
    CString name;
    CString value;
    CString description;    // the control's tool tip
    CString defaultAction;  // empty when the control has none
    LONG state = 0;         // STATE_SYSTEM_*
};

class AccessibleControls {
  public:
    AccessibleControls(PaintManager& engine, ControlList& areas, ControlList& controls,
                       InputRouter& input) noexcept;
    ~AccessibleControls();
    AccessibleControls(const AccessibleControls&) = delete;
    AccessibleControls& operator=(const AccessibleControls&) = delete;

    // What a dialog says about a control. Null, empty and 0 give the part back to the control's class. Each
    // raises the WinEvent of what it changes.
    void SetName(MControl* control, const wchar_t* name);
    void SetRole(MControl* control, LONG role);
    void SetValue(MControl* control, const wchar_t* value);
    void SetChecked(MControl* control, bool checked);
    // The skin image drawn centred over the control while it has the keyboard focus; null or empty for none.
    void SetFocusRing(MControl* control, const wchar_t* imageName);
    // The ring to draw now: the focused control's, while the window has the keyboard focus and the focus was
    // last moved from the keyboard; no image otherwise.
    struct Ring {
        Gdiplus::Image* image = nullptr;  // owned by the engine's image cache
        CRect rect;
    };
    [[nodiscard]] Ring ShownFocusRing();
    // Repaints where the control's ring is drawn, if it has one.
    void RepaintFocusRing(MControl* control);

    // ---- The tree, for the client object ----
    [[nodiscard]] HWND Window() const noexcept;
    [[nodiscard]] std::vector<LONG> VisibleChildren();
    // Null for an id that names no control.
    [[nodiscard]] MControl* ControlOf(LONG childId);
    // 0 (CHILDID_SELF) for a control that is not one of the engine's.
    [[nodiscard]] LONG ChildIdOf(const MControl* control);
    [[nodiscard]] AccessibleDescription Describe(MControl* control);
    // The topmost visible control at a client point; null when there is none.
    [[nodiscard]] MControl* ControlAt(CPoint pt);
    [[nodiscard]] MControl* Focus() const noexcept;
    // Gives the control the keyboard focus as Tab would; false when it cannot take it.
    bool TakeFocus(MControl* control);
    // The default action is carried out once the window's current message is done, so that an assistive
    // program's call returns at once; false when the control has none now.
    bool PostDefaultAction(MControl* control);

    // ---- The engine's side ----
    // A visible, enabled control with a default action performs it at once; false otherwise.
    bool DoDefaultAction(MControl* control);
    // The engine's window messages that concern accessibility (WM_GETOBJECT, a requested default action, the
    // window's keyboard focus); true when the message was answered here, with its result in `result`.
    bool OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A new control: what it shows now is what later changes are measured against.
    void Track(MControl* control);
    // A control asked for a repaint: whatever changed in what it tells is announced.
    void OnControlChanged(MControl* control);
    void OnFocusChanged(MControl* focus);
    void Forget(const MControl* control) noexcept;
    // The window goes: the client object answers nothing more, and its remote clients are cut off.
    void Disconnect() noexcept;

  private:
    struct Entry {
        MControl* control = nullptr;  // not owned
        LONG role = 0;
        CString name;
        CString value;
        bool checked = false;
        CString focusRing;
        // What was last announced: state bits other than the focus, name and value.
        LONG shownState = 0;
        CString shownName;
        CString shownValue;
    };

    Entry* Find(const MControl* control) noexcept;
    // The control's entry, made on first use with what the control shows now.
    Entry& Get(MControl* control);
    // Sets a field of the control's entry and announces what that changes.
    template <typename Field, typename Value>
    void Change(MControl* control, Field Entry::*field, Value value);
    // Walks the areas, then the controls, under their locks; stops when `visit` returns false.
    template <typename Visit>
    void ForEachControl(Visit&& visit);
    // The state bits whose changes are announced as such: not the focus (its own event), whether the control
    // can take it (set with the tab stop, which says nothing), nor the window's visibility.
    [[nodiscard]] LONG ControlState(MControl* control, LONG role);
    void Announce(Entry& entry);
    void Raise(DWORD event, MControl* control) noexcept;
    // Where the control's ring goes, with its image; no image when it has none.
    [[nodiscard]] Ring RingOf(MControl* control);

    PaintManager& engine_;
    ControlList& areas_;
    ControlList& controls_;
    InputRouter& input_;
    std::vector<Entry> entries_;
    Microsoft::WRL::ComPtr<AccessibleWindow> object_;
};

}  // namespace Tessel
