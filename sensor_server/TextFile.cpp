#include "TextFile.h"

#include "core/Handle.h"

#include <windows.h>

namespace {

constexpr char kBlanks[] = " \t\r\n";

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = LowerAscii(c);
    }
    return lower;
}

TextFileResult ReadTextFile(const std::wstring& path, size_t maxBytes, std::string* text) {
    text->clear();
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TextFileResult::Missing
                                                                              : TextFileResult::Failed;
    }
    // Read in pieces rather than trusting the reported size: Linux sensor files report 4096 bytes and
    // hold a few.
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr)) {
            return TextFileResult::Failed;
        }
        if (got == 0) {
            return TextFileResult::Read;
        }
        if (text->size() + got > maxBytes) {
            text->clear();
            return TextFileResult::TooLarge;
        }
        text->append(buffer, got);
    }
}

std::wstring WideFromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8FromWide(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                             0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length,
                          nullptr, nullptr);
    return narrow;
}

std::string PrintableExcerpt(const std::string& text, size_t maxChars) {
    std::string excerpt;
    for (size_t i = 0; i < text.size() && i < maxChars; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        excerpt.push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
    }
    if (text.size() > maxChars) {
        excerpt += "...";
    }
    return excerpt;
}
