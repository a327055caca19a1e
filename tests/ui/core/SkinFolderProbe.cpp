// Writes the library's skin folder, as seen from this process, to the file named by its argument (UTF-16).

#include "core/Manager.h"
#include "win/Handle.h"

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    CString folder = Tessel::Manager::GetSkinFolder();
    const UniqueFileHandle f(
        ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        return 3;
    }
    DWORD written = 0;
    BOOL ok = ::WriteFile(f.get(), folder.GetString(),
                          static_cast<DWORD>(folder.GetLength() * sizeof(wchar_t)), &written, nullptr);
    return ok ? 0 : 4;
}
