#include "shell/Settings.h"

#include "common/LeadingInt.h"
#include "common/Product.h"

#include "win/Handle.h"

#include <cwchar>
#include <iterator>

namespace {

// "SOFTWARE\<product title>"
const wchar_t* SettingsKeyPath() noexcept {
    static wchar_t path[64];
    if (path[0] == L'\0') {
        std::swprintf(path, std::size(path), L"SOFTWARE\\%ls", kProductTitle);
    }
    return path;
}

LSTATUS OpenSettingsKey(UniqueHKey& key) noexcept {
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKeyPath(), 0, KEY_ALL_ACCESS, key.put());
}

}  // namespace

int ReadSetting(const wchar_t* name) noexcept {
    UniqueHKey key;
    LSTATUS status = OpenSettingsKey(key);
    if (status == ERROR_FILE_NOT_FOUND) {
        UniqueHKey created;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKeyPath(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, created.put(), nullptr);
        return 0;
    }
    if (status != ERROR_SUCCESS) {
        return 0;
    }
    // 512 zero bytes with only 255 offered to the query: whatever comes back stays NUL-terminated.
    wchar_t buffer[256] = {};
    DWORD size = 255;
    DWORD type = REG_SZ;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return 0;
    }
    return ParseLeadingInt(buffer);
}

void WriteSetting(const wchar_t* name, const wchar_t* text) noexcept {
    UniqueHKey key;
    if (OpenSettingsKey(key) != ERROR_SUCCESS) {
        return;
    }
    const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

int ReadLightSetting() noexcept {
    int light = ReadSetting(kSettingLight);
    if (light == 0) {
        WriteSetting(kSettingLight, L"1");
        light = 1;
    }
    return light;
}
