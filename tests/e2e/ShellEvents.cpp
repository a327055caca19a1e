// Sends what the Windows shell and the system send to a tray program, so that whole-program tests can play
// a shell restart and a resume from sleep:
//
//   ShellEvents.exe forget-icon       the shell loses the program's icon (as when explorer.exe dies)
//   ShellEvents.exe taskbar-created   the "TaskbarCreated" broadcast of a freshly started shell
//   ShellEvents.exe resume            WM_POWERBROADCAST with PBT_APMRESUMEAUTOMATIC to every top-level window
//
// Exit code: 0 sent, 2 bad arguments, 3 the program's window was not found or the call failed.

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

namespace {

constexpr wchar_t kProgramWindowTitle[] = L"Kelvaro-DIG";
constexpr UINT kProgramTrayIconId = 109;
constexpr int kBadArguments = 2;
constexpr int kFailed = 3;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return kBadArguments;
    }
    if (std::wcscmp(argv[1], L"forget-icon") == 0) {
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof(icon);
        icon.hWnd = ::FindWindowW(nullptr, kProgramWindowTitle);
        icon.uID = kProgramTrayIconId;
        return icon.hWnd && ::Shell_NotifyIconW(NIM_DELETE, &icon) ? 0 : kFailed;
    }
    if (std::wcscmp(argv[1], L"taskbar-created") == 0) {
        return ::SendNotifyMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0)
                   ? 0
                   : kFailed;
    }
    if (std::wcscmp(argv[1], L"resume") == 0) {
        return ::SendNotifyMessageW(HWND_BROADCAST, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0) ? 0
                                                                                                  : kFailed;
    }
    return kBadArguments;
}
