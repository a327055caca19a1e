// Entry point: one instance only, prepare the process, run the main window, shut down in order.

#include "shell/DeviceMainDlg.h"
#include "shell/ProgramLog.h"
#include "shell/Product.h"
#include "shell/Startup.h"

#include "sensors/SensorServer.h"

#include "core/Manager.h"

#include <objidl.h>
#include <gdiplus.h>
#include <ole2.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HANDLE mutex = nullptr;  // held until the process ends
    if (!ClaimSingleInstance(&mutex)) {
        // The user started the program again: bring the running one's panel back to the corner, as a left
        // click on its tray icon would.
        if (HWND running = FindRunningInstanceWindow()) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(running, &process);
            ::AllowSetForegroundWindow(process);
            ::PostMessageW(running, kTrayCallbackMessage, 0, WM_LBUTTONDOWN);
        }
        return 0;
    }

    LogEvent(L"Calidra %ls started from %ls (process %lu)", kProductVersion, GetProgramFolder().c_str(),
             ::GetCurrentProcessId());

    if (ShouldBecomeDpiAware(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN))) {
        ::SetProcessDPIAware();
    }
    EnableDebugPrivilege();
    // A server left over from an earlier run would otherwise keep writing beside the new one.
    StopSensorServer();

    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput gdiplusInput;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);
    Tessel::Manager::SetInstance(instance);
    ::CoInitialize(nullptr);
    ::OleInitialize(nullptr);

    {
        // Destroyed before the libraries shut down: its engine may still hold GDI+ images and OLE
        // registrations, and its worker must have stopped.
        DeviceMainDlg mainWindow;
        mainWindow.Run();
        StopSensorServer();
    }
    LogEvent(L"Calidra ends (its window was closed)");

    ::CoUninitialize();
    ::OleUninitialize();
    Gdiplus::GdiplusShutdown(gdiplusToken);
    return 1;
}
