#pragma once

// Small helpers shared by the tests: where the build put things, and running real child processes.

#include "win/Handle.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

// The folder of the running test executable, with a trailing backslash.
inline std::wstring TestDir() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// The build's install-like output folder (Calidra.exe, Tessel.dll, hidapi.dll, ...), beside the tests.
inline std::wstring OutDir() {
    return TestDir() + L"..\\out\\";
}

// A child process, terminated when the object goes if it still runs.
class ChildProcess {
  public:
    // Starts `commandLine` (the executable quoted by the caller if needed). With `output`, the child's
    // standard output and error go to that file.
    explicit ChildProcess(const std::wstring& commandLine, const std::wstring& output = std::wstring()) {
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        UniqueFileHandle file;
        if (!output.empty()) {
            SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
            file.reset(::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdError = file.get();
            si.hStdOutput = file.get();
        }
        std::wstring cmd(commandLine);
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, file ? TRUE : FALSE, 0, nullptr, nullptr,
                             &si, &pi)) {
            process_.reset(pi.hProcess);
            UniqueHandle thread(pi.hThread);
            id_ = pi.dwProcessId;
        }
    }
    ~ChildProcess() { Terminate(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    [[nodiscard]] bool started() const { return process_.valid(); }
    [[nodiscard]] DWORD id() const { return id_; }
    // Still running after waiting up to timeoutMs for it to end.
    [[nodiscard]] bool Runs(DWORD timeoutMs = 0) const {
        return started() && ::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_TIMEOUT;
    }
    // The exit code once the process has ended within timeoutMs; nothing while it still runs.
    [[nodiscard]] std::optional<DWORD> ExitCode(DWORD timeoutMs) const {
        DWORD code = 0;
        if (!started() || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(process_.get(), &code)) {
            return std::nullopt;
        }
        return code;
    }
    void Terminate() {
        if (started()) {
            ::TerminateProcess(process_.get(), 1);
            ::WaitForSingleObject(process_.get(), 10000);
        }
    }

  private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

struct ProcessResult {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0;
};

// Runs the command line and waits up to timeoutMs. A process still running then is terminated and reported
// as not finished.
inline ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 20000) {
    ChildProcess child(commandLine);
    ProcessResult result;
    result.started = child.started();
    const std::optional<DWORD> code = child.ExitCode(timeoutMs);
    result.finished = code.has_value();
    result.exitCode = code.value_or(0);
    return result;
}

inline std::wstring Quote(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// UTF-8 text (host paths, the build's settings) as UTF-16.
inline std::wstring Widen(std::string_view text) {
    if (text.empty())
        return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// Starts the command line and leaves the process to itself (a Linux program that wine starts, for which the
// handle says nothing); true when it started.
inline bool StartDetached(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return false;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle handle(process.hProcess);
    return true;
}

}  // namespace testing_support
