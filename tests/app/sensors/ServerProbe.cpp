// A harmless stand-in for the sensor server executable in lifecycle tests, copied under server-like names.
//
//   ServerProbe.exe              appends its own command line (UTF-16, one line) to the file named by the
//                                environment variable CALIDRA_PROBE_LOG and exits 0 (2 when it cannot)
//   ServerProbe.exe --wait MS    sets the event ServerProbe-<its process id> if there is one (a test then
//                                knows it runs), waits MS milliseconds (at most 60 s) and exits 7, so a test
//                                can tell a terminated copy (exit code 0) from one that ended by itself

#include "win/Handle.h"

#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--wait") == 0) {
        const std::wstring running = L"ServerProbe-" + std::to_wstring(::GetCurrentProcessId());
        if (const UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, running.c_str())); event) {
            ::SetEvent(event.get());
        }
        const unsigned long ms = std::wcstoul(argv[2], nullptr, 10);
        ::Sleep(ms > 60000 ? 60000 : ms);
        return 7;
    }
    wchar_t log[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"CALIDRA_PROBE_LOG", log, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 2;
    }
    const UniqueFileHandle file(::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return 2;
    }
    const std::wstring line = std::wstring(::GetCommandLineW()) + L"\n";
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)),
                                &written, nullptr);
    return ok ? 0 : 2;
}
