#include "VirtualDevices.h"

#include <cctype>
#include <cstring>
#include <cwctype>

namespace vdisplay {

namespace {

State g_state;
bool g_ready = false;
bool g_tried = false;

bool SamePath(const char* known, const wchar_t* path) noexcept {
    for (; *known && *path; ++known, ++path) {
        if (*path > 0x7F || ::tolower(static_cast<unsigned char>(*known)) != ::towlower(*path)) {
            return false;
        }
    }
    return *known == '\0' && *path == L'\0';
}

}  // namespace

const Interface* FindInterface(const char* path) noexcept {
    for (const Interface& iface : kInterfaces) {
        if (path && _stricmp(iface.path, path) == 0) {
            return &iface;
        }
    }
    return nullptr;
}

const Interface* FindInterface(const wchar_t* path) noexcept {
    for (const Interface& iface : kInterfaces) {
        if (path && SamePath(iface.path, path)) {
            return &iface;
        }
    }
    return nullptr;
}

State& Shared() noexcept {
    return g_state;
}

bool SharedReady() noexcept {
    // Opened once, from DllMain, before any other thread of the stand-in runs.
    if (!g_tried) {
        g_tried = true;
        g_ready = g_state.Open();
    }
    return g_ready;
}

bool InterfacePresentLocked(const Interface& iface, int32_t* serial) noexcept {
    *serial = 0;
    if (iface.display < 0) {
        return true;
    }
    const DisplaySlot& slot = g_state.Get()->displays[iface.display];
    *serial = slot.plugSerial;
    return CollectionsReady(slot, Now());
}

}  // namespace vdisplay
