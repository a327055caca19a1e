#pragma once

// The control factory: class names to constructors. The engine creates every control through it
// (PaintManager::CreateControl), so that it knows no control class but MControl.
//
// What the factory passes on besides parent, id and rectangle:
//
// | class name | text       | a                      | b                    |
// |------------|------------|------------------------|----------------------|
// | "MPicture" | not used   | visible (0 or 1)       | enabled (0 or 1)     |
// | "MText"    | the text   | visible (0 or 1)       | not used             |
// | "MButton"  | the title  | visible (0 or 1)       | enabled (0 or 1)     |
// | "CArea"    | not used   | visible (0 or 1)       | enabled (0 or 1)     |
//
// The names are compared exactly and case-sensitively; any other name creates nothing.

#include "core/Types.h"

#include <windows.h>

namespace Tessel {

class MControl;
class MObject;

// A new control (owned by the caller) of that class name; null for an empty, null or unknown name.
[[nodiscard]] MControl* CreateControlByName(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                            const wchar_t* text, int a, int b);

}  // namespace Tessel
