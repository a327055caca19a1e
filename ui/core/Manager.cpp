#include "core/Manager.h"

namespace Tessel {

HINSTANCE Manager::m_hInstance = nullptr;

void Manager::SetInstance(HINSTANCE instance) noexcept {
    m_hInstance = instance;
}

HINSTANCE Manager::GetInstance() noexcept {
    return m_hInstance;
}

}  // namespace Tessel
