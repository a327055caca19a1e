#include "TextFile.h"

#include "core/Handle.h"

#include <windows.h>

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
