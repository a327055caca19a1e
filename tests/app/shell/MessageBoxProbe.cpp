// Shows the program's message box and exits with its answer, so that whole-program tests can drive the box
// through the X server like a person would.
//
//   MessageBoxProbe.exe MESSAGE TITLE TYPE      exit code: the box's result (1 OK/YES, 2 NO, 0 closed)

#include "shell/MessageBox.h"

#include "core/Manager.h"
#include "win/ScopeGuards.h"

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 100;
    }
    GdiplusSession gdiplus;
    Tessel::Manager::SetInstance(::GetModuleHandleW(nullptr));
    OleSession ole;
    return static_cast<int>(
        ShowMessageBox(argv[1], argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10))));
}
