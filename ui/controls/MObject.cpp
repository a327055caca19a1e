#include "controls/MObject.h"

#include <cwchar>

namespace Tessel {

MObject::~MObject() = default;

int MObject::IsClass(const wchar_t* name) {
    const wchar_t* own = GetClassNameW();
    if (own == nullptr || name == nullptr)
        return 0;
    return std::wcscmp(own, name) == 0 ? 1 : 0;
}

const wchar_t* MObject::GetClassNameW() {
    return nullptr;
}

const wchar_t* MObject::GetObjectClass() {
    return nullptr;
}

const wchar_t* MObject::BaseObjectClassName() {
    return nullptr;
}

LRESULT MObject::OnBaseMessage(UINT, UINT, WPARAM, LPARAM) {
    return 0;
}

LRESULT MObject::OnControlUpdate(CRect, int, MControl*) {
    return 0;
}

}  // namespace Tessel
