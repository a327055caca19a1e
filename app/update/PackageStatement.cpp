#include "update/PackageStatement.h"

namespace {

constexpr char kStatementTitle[] = "Kelvaro-DIG update package";
constexpr char kHexDigits[] = "0123456789abcdef";

// Appends "<key> <value>\n"; false if value is empty or not printable ASCII without spaces.
bool AppendLine(std::string* text, const char* key, std::wstring_view value) {
    if (value.empty()) {
        return false;
    }
    *text += key;
    *text += ' ';
    for (const wchar_t c : value) {
        if (c <= L' ' || c > L'~') {
            return false;
        }
        *text += static_cast<char>(c);
    }
    *text += '\n';
    return true;
}

}  // namespace

std::string PackageStatement(std::wstring_view folder, std::wstring_view name, std::wstring_view version,
                             const Sha256Digest& package) {
    std::string text = kStatementTitle;
    text += '\n';
    if (!AppendLine(&text, "folder", folder) || !AppendLine(&text, "name", name) ||
        !AppendLine(&text, "version", version)) {
        return {};
    }
    text += "sha256 ";
    for (const uint8_t byte : package) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0xF];
    }
    text += '\n';
    return text;
}
