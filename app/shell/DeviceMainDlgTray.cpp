// The notification-area side of the main window: the tray icon, its menu, and the rest of the shell set-up.

#include "shell/DeviceMainDlg.h"

#include "common/ProgramFolder.h"
#include "common/ProgramLog.h"
#include "common/Product.h"

#include "display/DisplayManager.h"
#include "sensors/SensorServer.h"

#include "core/Manager.h"
#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <imm.h>

namespace {

constexpr UINT kMenuVersion = 203;
constexpr UINT kMenuDevices = 202;

constexpr wchar_t kTaskbarCreatedName[] = L"TaskbarCreated";

}  // namespace

void DeviceMainDlg::SetUpShell() {
    const HWND hwnd = GetSafeHwnd();
    ::SetPropW(hwnd, kProductTitle, reinterpret_cast<HANDLE>(1));

    const std::wstring iconPath =
        GetProgramFolder() + L"skins\\" + Tessel::Manager::GetTheme().GetString() + L"Calidra.ico";
    tray_.Add(hwnd, kTrayIconId, kTrayCallbackMessage, iconPath.c_str(), kProductTitle);

    // The program runs elevated and the shell does not: without these two exceptions the system would drop
    // the shell's messages to this window, the icon's clicks and the broadcast after a shell restart.
    taskbarCreatedMessage_ = ::RegisterWindowMessageW(kTaskbarCreatedName);
    ::ChangeWindowMessageFilterEx(hwnd, taskbarCreatedMessage_, MSGFLT_ALLOW, nullptr);
    ::ChangeWindowMessageFilterEx(hwnd, kTrayCallbackMessage, MSGFLT_ALLOW, nullptr);

    SetIcon(107);

    if (const ImmContextScope context(hwnd); context.get() != nullptr) {
        ::ImmSetOpenStatus(context.get(), FALSE);
    }
    ::ImmAssociateContext(hwnd, nullptr);

    DisplayManager::RegisterDisplayNotifications(hwnd);
}

LRESULT DeviceMainDlg::OnTrayCallback(WPARAM iconId, LPARAM mouseMessage) {
    // Any process may send this message (the shell runs unelevated): only the icon's own id counts.
    if (iconId != kTrayIconId) {
        return 0;
    }
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
    const CRect rect = PanelRect(kPanelHeightFromTray);
    MoveWindow(rect.left, rect.top, rect.Width(), rect.Height(), TRUE);
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
    if (tray_.Shown()) {
        LogEvent(L"The shell was restarted: tray icon added again");
        tray_.AddAgain();
    }
}
