#include "ConfigManager.h"

#include "VirtualDevices.h"

#include <cfgmgr32.h>
#include <devpropdef.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <string>

namespace vdisplay {

namespace {

constexpr DEVPROPKEY kInstanceIdKey = {
    {0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}}, 256};
constexpr DEVPROPKEY kHardwareIdsKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 3};
constexpr DEVPROPKEY kCompatibleIdsKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 4};
constexpr DEVPROPKEY kNameKey = {
    {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}}, 10};
constexpr DEVPROPKEY kContainerIdKey = {
    {0x8C7ED206, 0x3F8A, 0x4827, {0xB3, 0xAB, 0xAE, 0x9E, 0x1F, 0xAE, 0xFC, 0x6C}}, 2};

// Device nodes of the virtual devices: two per interface, its HID collection and the USB interface above it.
// Far above the small numbers the system hands out.
constexpr DEVINST kFirstNode = 0x56440000;
constexpr size_t kInterfaceCount = std::size(kInterfaces);
constexpr unsigned short kVendorPageFirst = 0xFF00;

enum Function : size_t {
    kListSize,
    kList,
    kInterfaceProperty,
    kLocateNode,
    kParent,
    kNodeProperty,
    kFunctionCount,
};
constexpr const char* kFunctionNames[kFunctionCount] = {
    "CM_Get_Device_Interface_List_SizeW",
    "CM_Get_Device_Interface_ListW",
    "CM_Get_Device_Interface_PropertyW",
    "CM_Locate_DevNodeW",
    "CM_Get_Parent",
    "CM_Get_DevNode_PropertyW",
};
// The system's own functions, where it has them.
std::atomic<void*> g_system[kFunctionCount];

using ListSizeCall = CONFIGRET(WINAPI*)(PULONG, LPGUID, DEVINSTID_W, ULONG);
using ListCall = CONFIGRET(WINAPI*)(LPGUID, DEVINSTID_W, PWSTR, ULONG, ULONG);
using InterfacePropertyCall = CONFIGRET(WINAPI*)(LPCWSTR, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, PULONG,
                                                 ULONG);
using LocateCall = CONFIGRET(WINAPI*)(PDEVINST, DEVINSTID_W, ULONG);
using ParentCall = CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG);
using NodePropertyCall = CONFIGRET(WINAPI*)(DEVINST, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, PULONG, ULONG);

template <typename Call>
Call System(Function function) noexcept {
    return reinterpret_cast<Call>(g_system[function].load());
}

bool SameKey(const DEVPROPKEY* a, const DEVPROPKEY& b) noexcept {
    return a && ::IsEqualGUID(a->fmtid, b.fmtid) && a->pid == b.pid;
}

bool Present(const Interface& iface) noexcept {
    Guard guard(Shared());
    int32_t serial = 0;
    return InterfacePresentLocked(iface, &serial);
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return text;
}

// "\\?\hid#vid_1a2c&pid_4c84&mi_00#8&2b1d4c84&0&0000#{...}" names the collection
// "HID\VID_1A2C&PID_4C84&MI_00\8&2B1D4C84&0&0000"; the USB interface above it is "USB\..." alike.
std::wstring InstanceId(const Interface& iface, bool usbParent) {
    std::wstring id(iface.path, iface.path + std::strlen(iface.path));
    const size_t start = id.find(L'#') + 1;
    id = id.substr(start, id.rfind(L'#') - start);
    for (wchar_t& c : id) {
        c = c == L'#' ? L'\\' : c;
    }
    id = L"HID\\" + id;
    return Upper(usbParent ? L"USB" + id.substr(3) : id);
}

// A list of strings, each ended by NUL, the list by one more.
std::wstring StringList(std::initializer_list<std::wstring> items) {
    std::wstring list;
    for (const std::wstring& item : items) {
        list += item;
        list += L'\0';
    }
    return list + L'\0';
}

std::wstring HardwareIds(const Interface& iface) {
    wchar_t device[64] = {};
    wchar_t usage[32] = {};
    std::swprintf(device, std::size(device), L"HID\\VID_%04X&PID_%04X", iface.vendorId, iface.productId);
    std::swprintf(usage, std::size(usage), L"UP:%04X_U:%04X", iface.usagePage, iface.usage);
    wchar_t vendorUsage[64] = {};
    std::swprintf(vendorUsage, std::size(vendorUsage), L"HID\\VID_%04X&%ls", iface.vendorId, usage);
    wchar_t revision[16] = {};
    std::swprintf(revision, std::size(revision), L"&REV_%04X", kReleaseNumber);
    if (iface.display < 0) {
        return StringList({std::wstring(device) + revision, device, vendorUsage, L"HID_DEVICE_SYSTEM_MOUSE",
                           std::wstring(L"HID_DEVICE_") + usage, L"HID_DEVICE"});
    }
    wchar_t interfaceNumber[16] = {};
    std::swprintf(interfaceNumber, std::size(interfaceNumber), L"&MI_%02d", iface.number);
    return StringList({std::wstring(device) + revision + interfaceNumber,
                       std::wstring(device) + interfaceNumber, vendorUsage,
                       std::wstring(L"HID_DEVICE_") + usage, L"HID_DEVICE"});
}

std::wstring CompatibleIds(const Interface& iface) {
    // A display's interfaces are plain HID; the pointer is a boot mouse.
    const wchar_t* subclass = iface.display < 0 ? L"01" : L"00";
    const wchar_t* protocol = iface.display < 0 ? L"02" : L"00";
    const std::wstring classId = L"USB\\Class_03";
    return StringList({classId + L"&SubClass_" + subclass + L"&Prot_" + protocol,
                       classId + L"&SubClass_" + subclass, classId});
}

const wchar_t* FriendlyName(const Interface& iface, bool usbParent) noexcept {
    if (usbParent) {
        return L"USB Input Device";
    }
    if (iface.display < 0) {
        return L"HID-compliant mouse";
    }
    return iface.usagePage >= kVendorPageFirst ? L"HID-compliant vendor-defined device"
                                               : L"HID-compliant consumer control device";
}

// Both interfaces of a display share its container.
GUID ContainerId(const Interface& iface) noexcept {
    return GUID{kFirstNode + static_cast<DWORD>(iface.display + 1),
                iface.vendorId,
                iface.productId,
                {0x56, 0x44, 0x43, 0x4F, 0x4E, 0x54, 0x41, 0x49}};
}

// A property value into the caller's buffer, as the configuration manager hands them out.
CONFIGRET Answer(DEVPROPTYPE valueType, const void* value, size_t size, DEVPROPTYPE* type, PBYTE buffer,
                 PULONG bufferSize) noexcept {
    if (!type || !bufferSize) {
        return CR_INVALID_POINTER;
    }
    *type = valueType;
    const ULONG needed = static_cast<ULONG>(size);
    if (!buffer || *bufferSize < needed) {
        *bufferSize = needed;
        return CR_BUFFER_SMALL;
    }
    std::memcpy(buffer, value, size);
    *bufferSize = needed;
    return CR_SUCCESS;
}

CONFIGRET AnswerText(const std::wstring& text, DEVPROPTYPE valueType, DEVPROPTYPE* type, PBYTE buffer,
                     PULONG bufferSize) noexcept {
    // A single string carries its terminator; a list already ends in two.
    const size_t chars = valueType == DEVPROP_TYPE_STRING ? text.size() + 1 : text.size();
    return Answer(valueType, text.c_str(), chars * sizeof(wchar_t), type, buffer, bufferSize);
}

bool IsHidClass(const GUID* interfaceClass) noexcept {
    return interfaceClass && ::IsEqualGUID(*interfaceClass, kHidInterfaceClass);
}

// The ready virtual collections' interface paths, as list entries (each ended by NUL).
std::wstring VirtualInterfaces() {
    std::wstring list;
    for (const Interface& iface : kInterfaces) {
        if (Present(iface)) {
            list.append(iface.path, iface.path + std::strlen(iface.path));
            list += L'\0';
        }
    }
    return list;
}

// The system's HID interfaces as list entries; none where it cannot list them.
std::wstring SystemInterfaces(LPGUID interfaceClass, ULONG flags) {
    const auto size = System<ListSizeCall>(kListSize);
    const auto list = System<ListCall>(kList);
    ULONG length = 0;
    if (!size || !list || size(&length, interfaceClass, nullptr, flags) != CR_SUCCESS || length <= 1) {
        return {};
    }
    std::wstring entries(length, L'\0');
    if (list(interfaceClass, nullptr, entries.data(), length, flags) != CR_SUCCESS) {
        return {};
    }
    size_t end = 0;
    while (end < entries.size() && entries[end] != L'\0') {
        end += std::wcslen(entries.c_str() + end) + 1;
    }
    return entries.substr(0, end);
}

CONFIGRET WINAPI InterfaceListSize(PULONG length, LPGUID interfaceClass, DEVINSTID_W device, ULONG flags) {
    if (!IsHidClass(interfaceClass) || device) {
        const auto system = System<ListSizeCall>(kListSize);
        return system ? system(length, interfaceClass, device, flags) : CR_CALL_NOT_IMPLEMENTED;
    }
    if (!length) {
        return CR_INVALID_POINTER;
    }
    *length =
        static_cast<ULONG>(SystemInterfaces(interfaceClass, flags).size() + VirtualInterfaces().size() + 1);
    return CR_SUCCESS;
}

CONFIGRET WINAPI InterfaceList(LPGUID interfaceClass, DEVINSTID_W device, PWSTR buffer, ULONG length,
                               ULONG flags) {
    if (!IsHidClass(interfaceClass) || device) {
        const auto system = System<ListCall>(kList);
        return system ? system(interfaceClass, device, buffer, length, flags) : CR_CALL_NOT_IMPLEMENTED;
    }
    if (!buffer || length == 0) {
        return CR_INVALID_POINTER;
    }
    const std::wstring list = SystemInterfaces(interfaceClass, flags) + VirtualInterfaces() + L'\0';
    if (list.size() > length) {
        buffer[0] = L'\0';
        return CR_BUFFER_SMALL;
    }
    std::memcpy(buffer, list.data(), list.size() * sizeof(wchar_t));
    return CR_SUCCESS;
}

CONFIGRET WINAPI InterfaceProperty(LPCWSTR path, const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer,
                                   PULONG size, ULONG flags) {
    const Interface* iface = FindInterface(path);
    if (!iface) {
        const auto system = System<InterfacePropertyCall>(kInterfaceProperty);
        return system ? system(path, key, type, buffer, size, flags) : CR_NO_SUCH_DEVICE_INTERFACE;
    }
    if (!Present(*iface)) {
        return CR_NO_SUCH_DEVICE_INTERFACE;
    }
    if (!SameKey(key, kInstanceIdKey)) {
        return CR_NO_SUCH_VALUE;
    }
    return AnswerText(InstanceId(*iface, false), DEVPROP_TYPE_STRING, type, buffer, size);
}

// The virtual device node, if node is one: its interface and whether it is the USB interface above the
// collection.
const Interface* VirtualNode(DEVINST node, bool* usbParent) noexcept {
    if (node < kFirstNode || node - kFirstNode >= 2 * kInterfaceCount) {
        return nullptr;
    }
    *usbParent = (node - kFirstNode) % 2 == 1;
    return &kInterfaces[(node - kFirstNode) / 2];
}

CONFIGRET WINAPI LocateNode(PDEVINST node, DEVINSTID_W id, ULONG flags) {
    for (size_t i = 0; id && i < kInterfaceCount; ++i) {
        for (bool usbParent : {false, true}) {
            if (_wcsicmp(InstanceId(kInterfaces[i], usbParent).c_str(), id) != 0) {
                continue;
            }
            if (!node) {
                return CR_INVALID_POINTER;
            }
            if (!Present(kInterfaces[i])) {
                return CR_NO_SUCH_DEVNODE;
            }
            *node = kFirstNode + static_cast<DEVINST>(2 * i + (usbParent ? 1 : 0));
            return CR_SUCCESS;
        }
    }
    const auto system = System<LocateCall>(kLocateNode);
    return system ? system(node, id, flags) : CR_NO_SUCH_DEVNODE;
}

CONFIGRET WINAPI Parent(PDEVINST parent, DEVINST node, ULONG flags) {
    bool usbParent = false;
    const Interface* iface = VirtualNode(node, &usbParent);
    if (!iface) {
        const auto system = System<ParentCall>(kParent);
        return system ? system(parent, node, flags) : CR_NO_SUCH_DEVNODE;
    }
    if (!parent) {
        return CR_INVALID_POINTER;
    }
    // The model ends at the USB interface.
    if (usbParent || !Present(*iface)) {
        return CR_NO_SUCH_DEVNODE;
    }
    *parent = node + 1;
    return CR_SUCCESS;
}

CONFIGRET WINAPI NodeProperty(DEVINST node, const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer,
                              PULONG size, ULONG flags) {
    bool usbParent = false;
    const Interface* iface = VirtualNode(node, &usbParent);
    if (!iface) {
        const auto system = System<NodePropertyCall>(kNodeProperty);
        return system ? system(node, key, type, buffer, size, flags) : CR_NO_SUCH_DEVNODE;
    }
    if (!Present(*iface)) {
        return CR_NO_SUCH_DEVNODE;
    }
    if (SameKey(key, kInstanceIdKey)) {
        return AnswerText(InstanceId(*iface, usbParent), DEVPROP_TYPE_STRING, type, buffer, size);
    }
    if (SameKey(key, kNameKey)) {
        return AnswerText(FriendlyName(*iface, usbParent), DEVPROP_TYPE_STRING, type, buffer, size);
    }
    if (SameKey(key, kHardwareIdsKey) && !usbParent) {
        return AnswerText(HardwareIds(*iface), DEVPROP_TYPE_STRING_LIST, type, buffer, size);
    }
    if (SameKey(key, kCompatibleIdsKey) && usbParent) {
        return AnswerText(CompatibleIds(*iface), DEVPROP_TYPE_STRING_LIST, type, buffer, size);
    }
    if (SameKey(key, kContainerIdKey)) {
        const GUID container = ContainerId(*iface);
        return Answer(DEVPROP_TYPE_GUID, &container, sizeof(container), type, buffer, size);
    }
    return CR_NO_SUCH_VALUE;
}

void* const kReplacements[kFunctionCount] = {
    reinterpret_cast<void*>(&InterfaceListSize),
    reinterpret_cast<void*>(&InterfaceList),
    reinterpret_cast<void*>(&InterfaceProperty),
    reinterpret_cast<void*>(&LocateNode),
    reinterpret_cast<void*>(&Parent),
    reinterpret_cast<void*>(&NodeProperty),
};

}  // namespace

FARPROC ConfigManagerFunction(HMODULE system, const char* name) noexcept {
    // An ordinal is no name.
    if (!name || reinterpret_cast<ULONG_PTR>(name) <= 0xFFFF) {
        return nullptr;
    }
    for (size_t f = 0; f < kFunctionCount; ++f) {
        if (std::strcmp(name, kFunctionNames[f]) == 0) {
            g_system[f] = reinterpret_cast<void*>(::GetProcAddress(system, name));
            return reinterpret_cast<FARPROC>(kReplacements[f]);
        }
    }
    return nullptr;
}

}  // namespace vdisplay
