#include "common/ProgramLog.h"

#include "security/AdminFolder.h"
#include "common/MachineFolder.h"
#include "security/OpenedPath.h"

#include "win/Handle.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kStampChars = 24;  // "2025-03-14 09:26:53.120 "
constexpr size_t kLineBufferChars = kStampChars + kLogLineMaxChars + 3;
constexpr size_t kUtf8BufferBytes = kLineBufferChars * 3;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

bool IsPlainFileOfItsOwn(HANDLE file, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
           OpenedObjectFault(file, path, ObjectKind::kFile).empty();
}

uint64_t FileSize(HANDLE file) noexcept {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

// The machine-wide folder and its "Logs" folder, checked and held for the life of the process.
class ProgramLogPlace {
  public:
    ProgramLogPlace() {
        std::wstring why;
        const std::wstring machine = MachineFolderPath();
        if (!machine.empty() && machine_.Open(machine, kUsersMayReadRules, &why)) {
            (void)logs_.Open(machine_.Path() + kLogsFolderName, kUsersMayReadRules, &why);
        }
    }
    [[nodiscard]] std::wstring Folder() const { return logs_.valid() ? logs_.Path() : std::wstring(); }

  private:
    AdminFolder machine_;
    AdminFolder logs_;
};

std::unique_ptr<LogFile> MakeProgramLog() noexcept {
    try {
        static ProgramLogPlace place;
        const std::wstring user = CurrentUserSidText();
        return std::make_unique<LogFile>(user.empty() ? std::wstring() : place.Folder(),
                                         std::wstring(kLogName) + L"-" + user);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

LogFile::LogFile(std::wstring folder, std::wstring name, uint64_t sizeLimit)
    : folder_(std::move(folder)), name_(std::move(name)), sizeLimit_(sizeLimit) {}

UniqueFileHandle LogFile::OpenForAppend() noexcept {
    try {
        // The folder first: a link in its place, or on the way to it, is never written through.
        const std::wstring folder = folder_.substr(0, folder_.size() - 1);
        const UniqueFileHandle held = OpenWithoutFollowing(folder, FILE_READ_ATTRIBUTES, kShareAll);
        if (!held || !OpenedObjectFault(held.get(), folder, ObjectKind::kFolder).empty()) {
            return {};
        }
        const std::wstring path = Path();
        // DELETE: the checked handle itself moves the file aside, or deletes it.
        UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | DELETE,
                                            kShareAll, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file || !IsPlainFileOfItsOwn(file.get(), path)) {
            return {};
        }
        return file;
    } catch (...) {
        return {};
    }
}

void LogFile::Rotate(HANDLE file) noexcept {
    try {
        const std::wstring old = OldPath();
        const size_t nameBytes = old.size() * sizeof(wchar_t);
        std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = TRUE;
        rename->FileNameLength = static_cast<DWORD>(nameBytes);
        std::memcpy(rename->FileName, old.c_str(), nameBytes + sizeof(wchar_t));
        if (::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
            return;
        }
    } catch (...) {
    }
    // Keeping the log bounded matters more than keeping its older lines.
    FILE_DISPOSITION_INFO remove{TRUE};
    ::SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof(remove));
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
    UniqueFileHandle file = OpenForAppend();
    if (!file) {
        return false;
    }
    uint64_t size = FileSize(file.get());
    if (size > 0 && size + static_cast<uint64_t>(bytes) > sizeLimit_) {
        Rotate(file.get());
        file.reset();  // a deleted file goes only when its last handle does
        file = OpenForAppend();
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
    static const std::unique_ptr<LogFile> log = MakeProgramLog();
    static LogFile none(L"");
    return log ? *log : none;
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
