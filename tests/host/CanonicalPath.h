#pragma once

// What GetFullPathNameW makes of a canonical folder and a relative name, as far as the zip rules' tests need:
// "/" becomes "\", empty and "." components go, ".." takes away the component before it (never the drive).
// Windows also trims trailing dots and spaces; the names these tests canonicalise never end a component so
// (the name rules refuse them), and the tests check that.

#include <algorithm>
#include <string>
#include <string_view>

namespace host {

// base: "X:\..." ending in a backslash. The result ends in a backslash only where the name does.
inline std::wstring CanonicalPath(const std::wstring& base, std::wstring_view name) {
    constexpr size_t kRoot = 3;  // "X:\"
    const bool endsInSeparator = !name.empty() && (name.back() == L'\\' || name.back() == L'/');
    std::wstring full = base;
    while (!name.empty()) {
        const size_t end = std::min(name.find_first_of(L"\\/"), name.size());
        const std::wstring_view component = name.substr(0, end);
        name.remove_prefix(std::min(end + 1, name.size()));
        if (component == L"..") {
            if (full.size() > kRoot) {
                full.pop_back();
                full.resize(full.rfind(L'\\') + 1);
            }
        } else if (!component.empty() && component != L".") {
            full.append(component).push_back(L'\\');
        }
    }
    if (!endsInSeparator && full.size() > kRoot) {
        full.pop_back();
    }
    return full;
}

}  // namespace host
