#include "core/Manager.h"

HINSTANCE g_hLibModule = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_hLibModule = instance;
    }
    return TRUE;
}
