// Entry point: one instance only, prepare the process, run the main window, shut down in order.

#include "shell/DeviceMainDlg.h"
#include "common/ProgramFolder.h"
#include "common/ProgramLog.h"
#include "common/Product.h"
#include "shell/Startup.h"

#include "sensors/SensorServer.h"

#include "core/Manager.h"
#include "win/ScopeGuards.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HANDLE mutex = nullptr;  // held until the process ends
    if (!ClaimSingleInstance(&mutex)) {
        // The user started the program again: bring the running one's panel back to the corner, as a left
        // click on its tray icon would.
        if (HWND running = FindRunningInstanceWindow()) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(running, &process);
            ::AllowSetForegroundWindow(process);
            ::PostMessageW(running, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONDOWN);
        }
        return 0;
    }

    LogEvent(L"Calidra %ls started from %ls (process %lu)", kProductVersion, GetProgramFolder().c_str(),
             ::GetCurrentProcessId());

    if (ShouldBecomeDpiAware(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN))) {
        ::SetProcessDPIAware();
    }
    // A server left over from an earlier run would otherwise keep writing beside the new one. Only this
    // program's own servers in this session are ended, which needs no debug privilege: none is enabled.
    StopSensorServer();

    const GdiplusSession gdiplus;
    Tessel::Manager::SetInstance(instance);
    const ComApartment com;
    const OleSession ole;

    {
        // Destroyed before the libraries shut down: its engine may still hold GDI+ images and OLE
        // registrations, and its worker must have stopped.
        DeviceMainDlg mainWindow;
        mainWindow.Run();
        StopSensorServer();
    }
    LogEvent(L"Calidra ends (its window was closed)");
    return 1;
}
