// A stand-in hid.dll that puts the K1 and K2 temperature displays (DisplayModel.h) beneath the real
// hidapi.dll, one layer lower than the stand-in hidapi.dll: what hidapi's Windows back end asks of Windows is
// answered for the virtual collections as Windows would, and passed on to the system for everything else.
//
// Placed beside the program, it is the hid.dll the program imports for its own probe, so it loads with the
// program. It then takes over, by rewriting import tables:
// - in the real hidapi.dll, the calls on a collection's file handle (CreateFileW, CloseHandle,
//   DeviceIoControl, CancelIo, ReadFile, WriteFile; see OverlappedIo.h), LoadLibraryW, which hands hidapi
//   this stand-in as the HID library it binds at run time (and fails, as without a HID library, while the
//   control program says so), and GetProcAddress, which hands it the configuration manager's answers about
//   the virtual collections (ConfigManager.h) in place of cfgmgr32.dll's;
// - in the program, its calls on file handles and its device-notification registrations
//   (DeviceNotifications.h).
// Its exports are hid.dll's functions that hidapi and the program use (HidSystemCalls.h). It is meant to be
// imported, never unloaded.

#include "ConfigManager.h"
#include "DeviceNotifications.h"
#include "DisplayModel.h"
#include "HidSystemCalls.h"
#include "ImportPatch.h"

#include <cwchar>

namespace {

constexpr wchar_t kHidLibrary[] = L"hid.dll";
constexpr wchar_t kConfigManagerLibrary[] = L"cfgmgr32.dll";
constexpr wchar_t kHidapiLibrary[] = L"hidapi.dll";

HMODULE WINAPI LoadLibraryHook(LPCWSTR name) {
    if (!name || _wcsicmp(name, kHidLibrary) != 0) {
        return ::LoadLibraryW(name);
    }
    if (vdisplay::InitFails()) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Counted like a load: hidapi frees it again in hid_exit.
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&LoadLibraryHook),
                         &self);
    return self;
}

FARPROC WINAPI GetProcAddressHook(HMODULE module, LPCSTR name) {
    if (module && module == ::GetModuleHandleW(kConfigManagerLibrary)) {
        if (FARPROC replacement = vdisplay::ConfigManagerFunction(module, name)) {
            return replacement;
        }
    }
    return ::GetProcAddress(module, name);
}

}  // namespace

extern "C" {

__declspec(dllexport) void NTAPI HidD_GetHidGuid(LPGUID guid) {
    vdisplay::hidcalls::GetHidGuid(guid);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    return vdisplay::hidcalls::GetAttributes(handle, attributes);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_GetSerialNumberString(HANDLE handle, PVOID buffer, ULONG length) {
    return vdisplay::hidcalls::GetSerialNumberString(handle, buffer, length);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_GetManufacturerString(HANDLE handle, PVOID buffer, ULONG length) {
    return vdisplay::hidcalls::GetManufacturerString(handle, buffer, length);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_GetProductString(HANDLE handle, PVOID buffer, ULONG length) {
    return vdisplay::hidcalls::GetProductString(handle, buffer, length);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_SetFeature(HANDLE handle, PVOID report, ULONG length) {
    return vdisplay::hidcalls::SetFeature(handle, report, length);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_GetFeature(HANDLE handle, PVOID report, ULONG length) {
    return vdisplay::hidcalls::GetFeature(handle, report, length);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_GetInputReport(HANDLE handle, PVOID report, ULONG length) {
    return vdisplay::hidcalls::GetInputReport(handle, report, length);
}

__declspec(dllexport) BOOLEAN NTAPI
    HidD_GetIndexedString(HANDLE handle, ULONG index, PVOID buffer, ULONG length) {
    return vdisplay::hidcalls::GetIndexedString(handle, index, buffer, length);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    return vdisplay::hidcalls::GetPreparsedData(handle, data);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    return vdisplay::hidcalls::FreePreparsedData(data);
}

__declspec(dllexport) NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    return vdisplay::hidcalls::GetCaps(data, caps);
}

__declspec(dllexport) BOOLEAN NTAPI HidD_SetNumInputBuffers(HANDLE handle, ULONG count) {
    return vdisplay::hidcalls::SetNumInputBuffers(handle, count);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        if (vdisplay::SharedReady()) {
            const HMODULE host = ::GetModuleHandleW(nullptr);
            vdisplay::InstallFileCalls(host);
            vdisplay::StartDeviceNotifications(host);
            // The program imports both, so hidapi.dll is mapped, its imports bound, before this runs.
            if (const HMODULE hidapi = ::GetModuleHandleW(kHidapiLibrary)) {
                vdisplay::InstallFileCalls(hidapi);
                vdisplay::ReplaceImport(hidapi, "kernel32.dll", "LoadLibraryW",
                                        reinterpret_cast<void*>(&LoadLibraryHook));
                vdisplay::ReplaceImport(hidapi, "kernel32.dll", "GetProcAddress",
                                        reinterpret_cast<void*>(&GetProcAddressHook));
            }
        }
    }
    return TRUE;
}

}  // extern "C"
