#include "common/MachineFolder.h"

#include "common/Product.h"

#include "win/Handle.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

std::wstring MachineFolderPath() {
    UniqueCoTaskText programData;
    // No token: the machine's folder, whatever the user's profile says.
    if (FAILED(
            ::SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DONT_VERIFY, nullptr, programData.put())) ||
        !programData || programData.get()[0] == L'\0') {
        return {};
    }
    std::wstring path = programData.get();
    if (path.back() != L'\\') {
        path += L'\\';
    }
    return path + kProductTitle + L"\\";
}
