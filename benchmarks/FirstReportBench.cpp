// Starts a program and measures the time until the virtual K1 has received a report it had not before: from
// Calidra.exe's start to its first report on the display.
//
//   first_report_bench.exe PROGRAM [TIMEOUT_MS]   (default 20000)
//
// Prints "first report after N ms". The program keeps running; the caller ends it. Exit code: 0 measured,
// 2 bad arguments, 3 the program did not start or no report came in time.

#include "VirtualDisplayState.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

enum ExitCode : int { kBadArguments = 2, kFailed = 3 };
constexpr DWORD kDefaultTimeoutMs = 20000;
constexpr DWORD kPollMs = 1;
constexpr int kK1 = 0;

int32_t Reports(const vdisplay::State& state) {
    vdisplay::Guard guard(state);
    return state.Get()->displays[kK1].shown.reports;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 3) {
        return kBadArguments;
    }
    const DWORD timeout =
        argc == 3 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : kDefaultTimeoutMs;
    vdisplay::State state;
    if (!state.Open()) {
        std::printf("the virtual display's state cannot be opened\n");
        return kFailed;
    }
    std::wstring program = argv[1];
    std::wstring folder = program.substr(0, program.find_last_of(L"\\/") + 1);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const int32_t before = Reports(state);
    const int64_t start = vdisplay::Now();
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        std::printf("%ls did not start (error %lu)\n", program.c_str(), ::GetLastError());
        return kFailed;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    const ULONGLONG deadline = ::GetTickCount64() + timeout;
    while (Reports(state) == before) {
        if (::GetTickCount64() >= deadline) {
            std::printf("no report within %lu ms\n", timeout);
            return kFailed;
        }
        ::Sleep(kPollMs);
    }
    vdisplay::Block* block = state.Get();
    std::printf("first report after %.1f ms\n", static_cast<double>(vdisplay::Now() - start) * 1000.0 /
                                                    static_cast<double>(block->frequency));
    return 0;
}
