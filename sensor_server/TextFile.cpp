#include "TextFile.h"

#include "win/Handle.h"

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
