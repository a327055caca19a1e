#pragma once

// Small helpers shared by the tests: where the build put things, and running real child processes.

#include <windows.h>

#include <functional>
#include <string>

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

struct ProcessResult {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0;
};

// Starts command line (the executable path quoted by the caller if needed) and waits up to timeoutMs.
// A process still running then is terminated and reported as not finished.
inline ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 20000) {
    ProcessResult result;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cmd(commandLine);
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return result;
    }
    result.started = true;
    if (::WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        result.finished = true;
        ::GetExitCodeProcess(pi.hProcess, &result.exitCode);
    } else {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, 5000);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return result;
}

// Polls done every 10 ms until it holds or timeoutMs have passed; false on time-out.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() > end) {
            return false;
        }
        ::Sleep(10);
    }
    return true;
}

inline std::wstring Quote(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

}  // namespace testing_support
