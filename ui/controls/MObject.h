#pragma once

#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>

namespace Tessel {

class MControl;

// Notification codes that a control sends to its owner's OnBaseMessage.
inline constexpr UINT kNotifyPressed = 1;      // a button went down on the control
inline constexpr UINT kNotifyClicked = 2;      // pressed and released inside it
inline constexpr UINT kNotifyDoubleClick = 3;  // lParam: the address of the point
inline constexpr UINT kNotifyScrolled = 8;     // a scroll bar moved
inline constexpr UINT kNotifyKey = 14;         // wParam: the key, lParam: the modifier code

// Root of everything a control can report to: dialogs and container controls. A child notifies its owner
// through OnBaseMessage and asks it for a repaint through OnControlUpdate.
class TESSEL_API MObject {
  public:
    MObject() noexcept = default;
    MObject(const MObject&) noexcept = default;
    MObject& operator=(const MObject&) noexcept = default;
    virtual ~MObject();

    // 1 when GetClassNameW equals name exactly (case-sensitive); 0 for a null name on either side.
    virtual int IsClass(const wchar_t* name);
    virtual const wchar_t* GetClassNameW();
    virtual const wchar_t* GetObjectClass();
    virtual const wchar_t* BaseObjectClassName();
    // Notification from child `id`. lParam may carry an address (double click), hence pointer-sized.
    virtual LRESULT OnBaseMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam);
    // Repaint request from a child; discardCache 1 means the child's cached drawing is stale.
    virtual LRESULT OnControlUpdate(CRect rect, int discardCache, MControl* control);
};

}  // namespace Tessel
