#include "update/Versions.h"

#include "common/LeadingInt.h"

#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <vector>

namespace {

std::vector<std::wstring> SplitAtDots(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t dot = text.find(L'.'); dot != std::wstring::npos; dot = text.find(L'.', start)) {
        parts.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool IsPackageNameCharacter(wchar_t c) noexcept {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'.' ||
           c == L'-' || c == L'_';
}

}  // namespace

bool IsVersionText(const std::wstring& text) noexcept {
    return !text.empty() && text.size() <= kMaxVersionLength;
}

int CompareVersion(const std::wstring& mine, const std::wstring& theirs) noexcept {
    const std::vector<std::wstring> a = SplitAtDots(mine);
    const std::vector<std::wstring> b = SplitAtDots(theirs);
    if (a.size() != b.size()) {
        return 2;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const int64_t d = int64_t{ParseLeadingInt(a[i].c_str())} - ParseLeadingInt(b[i].c_str());
        if (d > 0) {
            return -1;
        }
        if (d < 0) {
            return 1;
        }
    }
    return 0;
}

int DisplayFirmwareNumber(int displayVersion) noexcept {
    wchar_t hex[16] = {};
    std::swprintf(hex, std::size(hex), L"%x", static_cast<unsigned>(displayVersion));
    return ParseLeadingInt(hex);
}

bool IsFirmwareNewer(const std::wstring& serverText, int displayVersion) noexcept {
    return ParseLeadingInt(serverText.c_str()) > DisplayFirmwareNumber(displayVersion);
}

std::wstring PackageVersion(const std::wstring& text) {
    std::wstring version = text;
    while (!version.empty() && std::iswspace(version.back())) {
        version.pop_back();
    }
    if (version.empty() || version.front() == L'.' || version.find(L"..") != std::wstring::npos) {
        return {};
    }
    for (wchar_t c : version) {
        if (!IsPackageNameCharacter(c)) {
            return {};
        }
    }
    return version;
}
