// The notification-area side of the main window: the tray icon, its menu, and the rest of the shell set-up.

#include "shell/DeviceMainDlg.h"

#include "shell/ProgramLog.h"
#include "shell/Product.h"

#include "display/DisplayManager.h"
#include "sensors/SensorServer.h"

#include "controls/MRender.h"
#include "core/Handle.h"
#include "core/Manager.h"

#include <imm.h>

namespace {

constexpr UINT kMenuVersion = 203;
constexpr UINT kMenuDevices = 202;

constexpr int kCornerWidth = 396;
constexpr int kCornerHeight = 249;

constexpr wchar_t kTaskbarCreatedName[] = L"TaskbarCreated";

}  // namespace

// The full record: 956 bytes in a 32-bit build, 976 in a 64-bit one.
static_assert(sizeof(NOTIFYICONDATAW) == (sizeof(void*) == 8 ? 976 : 956), "the tray record's layout");

void DeviceMainDlg::SetUpShell() {
    const HWND hwnd = GetSafeHwnd();
    ::SetPropW(hwnd, kProductTitle, reinterpret_cast<HANDLE>(1));

    const std::wstring iconPath = GetProgramFolder() + L"skins\\" + Tessel::Manager::GetTheme().GetString() +
                                  L"Calidra.ico";
    tray_.hWnd = hwnd;
    tray_.uID = kTrayIconId;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = kTrayCallbackMessage;
    tray_.hIcon = Tessel::MRender::LoadIconFromFile(iconPath.c_str());  // kept for the life of the process
    ::lstrcpynW(tray_.szTip, kProductTitle, static_cast<int>(std::size(tray_.szTip)));
    ::Shell_NotifyIconW(NIM_ADD, &tray_);

    // The program runs elevated and the shell does not: without these two exceptions the system would drop
    // the shell's messages to this window, the icon's clicks and the broadcast after a shell restart.
    taskbarCreatedMessage_ = ::RegisterWindowMessageW(kTaskbarCreatedName);
    ::ChangeWindowMessageFilterEx(hwnd, taskbarCreatedMessage_, MSGFLT_ALLOW, nullptr);
    ::ChangeWindowMessageFilterEx(hwnd, kTrayCallbackMessage, MSGFLT_ALLOW, nullptr);

    SetIcon(107);

    if (HIMC context = ::ImmGetContext(hwnd)) {
        ::ImmSetOpenStatus(context, FALSE);
        ::ImmReleaseContext(hwnd, context);
    }
    ::ImmAssociateContext(hwnd, nullptr);

    DisplayManager::RegisterDisplayNotifications(hwnd);
}

LRESULT DeviceMainDlg::OnTrayCallback(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN) {
        ShowAtCorner();
    } else if (mouseMessage == WM_RBUTTONUP) {
        ShowTrayMenu();
    }
    return 0;
}

void DeviceMainDlg::ShowAtCorner() {
    const HWND hwnd = GetSafeHwnd();
    ::SetForegroundWindow(hwnd);
    ShowWindow(TRUE);
    ::UpdateWindow(hwnd);
    ::BringWindowToTop(hwnd);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    MoveWindow(work.right - (kCornerWidth + 2), work.bottom - (kCornerHeight + 2), kCornerWidth, kCornerHeight,
               TRUE);
}

void DeviceMainDlg::ShowTrayMenu() {
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) {
        return;
    }
    CString version;
    version.Format(L"Version: %ls", kProductVersion);
    CString devices;
    devices.Format(L"%d Device", DisplayManager::Instance().Count());
    ::AppendMenuW(menu.get(), MF_STRING, kMenuVersion, version);
    ::AppendMenuW(menu.get(), MF_STRING, kMenuDevices, devices);
    ::AppendMenuW(menu.get(), MF_STRING, kCommandExit, L"Exit");
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::SetForegroundWindow(GetSafeHwnd());
    ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, GetSafeHwnd(), nullptr);
}

void DeviceMainDlg::OnTaskbarCreated() {
    if (tray_.hIcon) {
        LogEvent(L"The shell was restarted: tray icon added again");
        ::Shell_NotifyIconW(NIM_ADD, &tray_);
    }
}

void DeviceMainDlg::RemoveTrayIcon() noexcept {
    if (tray_.hIcon) {
        tray_.hIcon = nullptr;
        ::Shell_NotifyIconW(NIM_DELETE, &tray_);
    }
}
