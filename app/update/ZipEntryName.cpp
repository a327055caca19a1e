#include "update/ZipEntryName.h"

#include "update/ZipEntry.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr size_t kLongestName = kZipNameCapacity - 1;

bool IsSeparator(wchar_t c) noexcept {
    return c == L'\\' || c == L'/';
}

bool SameText(std::wstring_view a, std::wstring_view b) noexcept {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// C0 and C1 controls and DEL.
bool IsControl(wchar_t c) noexcept {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

// The characters Windows refuses in names; the colon would open an alternate data stream.
bool IsReserved(wchar_t c) noexcept {
    return std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos;
}

// Windows opens a device for these whatever extension follows, and ignores spaces before the extension.
bool IsDeviceName(std::wstring_view component) noexcept {
    std::wstring_view stem = component.substr(0, component.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') {
        stem.remove_suffix(1);
    }
    for (std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (SameText(stem, device)) {
            return true;
        }
    }
    if (stem.size() != 4 || !(SameText(stem.substr(0, 3), L"COM") || SameText(stem.substr(0, 3), L"LPT"))) {
        return false;
    }
    const wchar_t digit = stem[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

bool IsSafeComponent(std::wstring_view component) noexcept {
    if (component.empty() || component == L".") {
        return true;
    }
    if (component == L"..") {
        return false;
    }
    for (wchar_t c : component) {
        if (IsReserved(c)) {
            return false;
        }
    }
    const wchar_t last = component.back();
    return last != L'.' && last != L' ' && !IsDeviceName(component);
}

// The historical rules, then ours, applied one at a time until none matches.
std::wstring CleanName(std::wstring name) {
    static constexpr std::wstring_view kUpLevels[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
    for (;;) {
        if (name.size() >= 2 && name[1] == L':') {
            name.erase(0, 2);
            continue;
        }
        if (!name.empty() && IsSeparator(name[0])) {
            name.erase(0, 1);
            continue;
        }
        bool cut = false;
        for (std::wstring_view upLevel : kUpLevels) {
            const size_t at = name.find(upLevel);
            if (at != std::wstring::npos) {
                name.erase(0, at + upLevel.size());
                cut = true;
                break;
            }
        }
        if (cut) {
            continue;
        }
        if (name.size() >= 3 && name[0] == L'.' && name[1] == L'.' && IsSeparator(name[2])) {
            name.erase(0, 2);
            continue;
        }
        return name;
    }
}

}  // namespace

uint32_t ConvertEntryName(std::string_view stored, bool utf8, std::wstring* name) {
    name->clear();
    if (stored.empty()) {
        return kZipEntryDone;
    }
    const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    const int size = static_cast<int>(stored.size());
    const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, stored.data(), size, nullptr, 0);
    if (length <= 0) {
        return kZipEntryUnsafeName;
    }
    std::wstring decoded(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, stored.data(), size, decoded.data(), length);
    if (decoded.size() > kLongestName) {
        *name = decoded.substr(0, kLongestName);
        return kZipEntryNameTooLong;
    }
    // A control character anywhere, even in a part the clean-up would cut, marks a name built to read
    // differently in different tools ("good.exe\0/../x").
    const bool control = std::any_of(decoded.begin(), decoded.end(), IsControl);
    if (control || (decoded.size() >= 2 && IsSeparator(decoded[0]) && IsSeparator(decoded[1]))) {
        *name = std::move(decoded);
        return kZipEntryUnsafeName;
    }
    *name = CleanName(std::move(decoded));
    std::wstring_view rest = *name;
    for (;;) {
        size_t end = 0;
        while (end < rest.size() && !IsSeparator(rest[end])) {
            ++end;
        }
        if (!IsSafeComponent(rest.substr(0, end))) {
            return kZipEntryUnsafeName;
        }
        if (end == rest.size()) {
            return kZipEntryDone;
        }
        rest.remove_prefix(end + 1);
    }
}
