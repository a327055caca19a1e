#include "controls/ControlFactory.h"

#include "controls/CArea.h"
#include "controls/MButton.h"
#include "controls/MPicture.h"
#include "controls/MText.h"

#include <cwchar>

namespace Tessel {

MControl* CreateControlByName(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                              const wchar_t* text, int a, int b) {
    if (className == nullptr || *className == L'\0')
        return nullptr;
    if (std::wcscmp(className, L"MPicture") == 0)
        return new MPicture(parent, id, rect, a, b);
    if (std::wcscmp(className, L"MText") == 0)
        return new MText(parent, id, rect, text, a);
    if (std::wcscmp(className, L"MButton") == 0)
        return new MButton(parent, id, rect, text, a, b);
    if (std::wcscmp(className, L"CArea") == 0)
        return new CArea(parent, id, rect, a, b);
    return nullptr;
}

}  // namespace Tessel
