#include "update/UpdateServer.h"

#include "common/Product.h"

#include "win/Handle.h"

#include <shlwapi.h>

#include <cwchar>
#include <cwctype>
#include <iterator>

namespace {

constexpr wchar_t kHttpsScheme[] = L"https://";

}  // namespace

std::wstring AcceptableBaseUrl(const std::wstring& text) {
    constexpr size_t schemeLength = std::size(kHttpsScheme) - 1;
    if (text.size() > kMaxUpdateBaseUrlLength || text.size() <= schemeLength ||
        ::StrCmpNIW(text.c_str(), kHttpsScheme, static_cast<int>(schemeLength)) != 0) {
        return {};
    }
    for (wchar_t c : text) {
        if (std::iswspace(c) || std::iswcntrl(c) || c == L'?' || c == L'#' || c == L'@' || c == L'\\') {
            return {};
        }
    }
    // The host runs from the scheme to the first "/" (with an optional port); it must not be empty.
    const size_t hostEnd = text.find(L'/', schemeLength);
    const std::wstring host = text.substr(
        schemeLength, hostEnd == std::wstring::npos ? std::wstring::npos : hostEnd - schemeLength);
    if (host.empty() || host.front() == L':') {
        return {};
    }
    return text.back() == L'/' ? text : text + L'/';
}

std::wstring ReadUpdateBaseUrl() noexcept {
    wchar_t keyPath[64] = {};
    std::swprintf(keyPath, std::size(keyPath), L"SOFTWARE\\%ls", kProductTitle);
    UniqueHKey key;
    // The 64-bit view in either build, so that one value serves both.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return kUpdateBaseUrl;
    }
    // One character more than an acceptable address, and a terminator the query cannot overwrite. A longer
    // value does not fit and is refused; so is any type but REG_SZ (REG_EXPAND_SZ would bring the environment
    // in).
    wchar_t value[kMaxUpdateBaseUrlLength + 2] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    if (::RegQueryValueExW(key.get(), kUpdateServerValue, nullptr, &type, reinterpret_cast<BYTE*>(value),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return kUpdateBaseUrl;
    }
    const std::wstring accepted = AcceptableBaseUrl(value);
    return accepted.empty() ? std::wstring(kUpdateBaseUrl) : accepted;
}
