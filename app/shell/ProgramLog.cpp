#include "shell/ProgramLog.h"

#include "update/UserDataFolder.h"

#include "core/Handle.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr size_t kStampChars = 24;  // "2025-03-14 09:26:53.120 "
constexpr size_t kLineBufferChars = kStampChars + kLogLineMaxChars + 3;
constexpr size_t kUtf8BufferBytes = kLineBufferChars * 3;

// Time stamp, the line with control characters blanked (a text from outside must not be able to forge
// lines of its own), CR LF. Returns the number of characters in out.
size_t ComposeLine(std::wstring_view line, wchar_t (&out)[kLineBufferChars]) noexcept {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    int n = std::swprintf(out, kStampChars + 1, L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                          now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    size_t length = n > 0 ? static_cast<size_t>(n) : 0;
    for (size_t i = 0; i < line.size() && i < kLogLineMaxChars; ++i) {
        const wchar_t c = line[i];
        out[length++] = (c < L' ' || c == 0x7F) ? L' ' : c;
    }
    out[length++] = L'\r';
    out[length++] = L'\n';
    return length;
}

bool IsPlainFileOfItsOwn(HANDLE file) noexcept {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           info.nNumberOfLinks == 1;
}

uint64_t FileSize(HANDLE file) noexcept {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

std::wstring ProgramLogFolder() noexcept {
    try {
        return GetUserDataFolder();
    } catch (...) {
        return {};
    }
}

}  // namespace

LogFile::LogFile(std::wstring folder, uint64_t sizeLimit)
    : folder_(std::move(folder)), sizeLimit_(sizeLimit) {}

HANDLE LogFile::OpenForAppend() noexcept {
    const std::wstring path = Path();
    const auto open = [&path] {
        // Not following a reparse point: the file itself is examined, never what it points at.
        return ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    const DWORD folderAttributes = ::GetFileAttributesW(folder_.c_str());
    if (folderAttributes != INVALID_FILE_ATTRIBUTES && (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = open();
    if (file == INVALID_HANDLE_VALUE && folderAttributes == INVALID_FILE_ATTRIBUTES &&
        CreateFolderTree(folder_)) {
        file = open();
    }
    if (file != INVALID_HANDLE_VALUE && !IsPlainFileOfItsOwn(file)) {
        ::CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

void LogFile::Rotate() noexcept {
    const std::wstring path = Path();
    const std::wstring old = folder_ + kOldLogFileName;
    if (!::MoveFileExW(path.c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        // Keeping the log bounded matters more than keeping its older lines.
        ::DeleteFileW(path.c_str());
    }
}

bool LogFile::Write(std::wstring_view line) noexcept {
    if (folder_.empty()) {
        return false;
    }
    wchar_t text[kLineBufferChars];
    const size_t length = ComposeLine(line, text);
    char utf8[kUtf8BufferBytes];
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8, sizeof(utf8),
                                            nullptr, nullptr);
    if (bytes <= 0) {
        return false;
    }

    std::lock_guard lock(mutex_);
    UniqueFileHandle file(OpenForAppend());
    if (!file) {
        return false;
    }
    uint64_t size = FileSize(file.get());
    if (size > 0 && size + static_cast<uint64_t>(bytes) > sizeLimit_) {
        file.reset();
        Rotate();
        file.reset(OpenForAppend());
        if (!file) {
            return false;
        }
        size = FileSize(file.get());
        if (size > 0 && size + static_cast<uint64_t>(bytes) > sizeLimit_) {
            return false;  // neither moved nor deleted: this line is dropped rather than grow the file
        }
    }
    DWORD written = 0;
    return ::WriteFile(file.get(), utf8, static_cast<DWORD>(bytes), &written, nullptr) &&
           written == static_cast<DWORD>(bytes);
}

LogFile& ProgramLog() noexcept {
    static LogFile log(ProgramLogFolder());
    return log;
}

void LogEvent(const wchar_t* format, ...) noexcept {
    wchar_t line[kLogLineMaxChars + 1] = {};
    va_list args;
    va_start(args, format);
    // Cut at the buffer's end; the result is terminated in every case.
    std::vswprintf(line, kLogLineMaxChars + 1, format, args);
    va_end(args);
    line[kLogLineMaxChars] = L'\0';
    ProgramLog().Write(line);
}
