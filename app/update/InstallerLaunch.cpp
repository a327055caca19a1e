#include "update/InstallerLaunch.h"

#include "win/Handle.h"

#include <string_view>
#include <vector>

namespace {

using UniqueEnvironmentStrings =
    UniqueResource<handle_traits::NullIsNone<wchar_t*, &::FreeEnvironmentStringsW>>;

constexpr std::wstring_view kTemporaryVariables[] = {L"TEMP", L"TMP"};

bool IsTemporaryVariable(std::wstring_view entry) noexcept {
    const size_t equals = entry.find(L'=', 1);  // "=C:=C:\..." entries start with one
    if (equals == std::wstring_view::npos) {
        return false;
    }
    for (std::wstring_view name : kTemporaryVariables) {
        if (::CompareStringOrdinal(entry.data(), static_cast<int>(equals), name.data(),
                                   static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// This process's environment with TEMP and TMP set to temporary, as a block of terminated entries.
std::vector<wchar_t> EnvironmentWithTemporaryFolder(const std::wstring& temporary) {
    std::vector<wchar_t> block;
    const UniqueEnvironmentStrings current(::GetEnvironmentStringsW());
    for (const wchar_t* entry = current.get(); entry && *entry;
         entry += std::wstring_view(entry).size() + 1) {
        const std::wstring_view text(entry);
        if (!IsTemporaryVariable(text)) {
            block.insert(block.end(), text.begin(), text.end());
            block.push_back(L'\0');
        }
    }
    for (std::wstring_view name : kTemporaryVariables) {
        const std::wstring text = std::wstring(name) + L"=" + temporary;
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

}  // namespace

bool StartInstaller(const std::wstring& installer, const std::wstring& folder, DWORD* error) {
    std::wstring commandLine = L"\"" + installer + L"\"";
    const std::wstring temporary = folder.substr(0, folder.size() - 1);
    std::vector<wchar_t> environment = EnvironmentWithTemporaryFolder(temporary);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(installer.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(), &startup,
                          &process)) {
        *error = ::GetLastError();
        return false;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle started(process.hProcess);
    return true;
}
