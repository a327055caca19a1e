#pragma once

// The program's machine-wide folder: "<ProgramData>\Kelvaro-DIG\" (for example
// "C:\ProgramData\Kelvaro-DIG\"), a folder only administrators can change and users may read. Below it the
// program keeps its logs ("Logs\") and, while an update is installed, that update's folder ("Update-" and 8
// hexadecimal digits, only for administrators). ProgramData is named by the system from its machine-wide
// settings; neither the environment nor the user's shell folders, which any process of the user can change,
// have a say.

#include <string>

inline constexpr wchar_t kLogsFolderName[] = L"Logs";
inline constexpr wchar_t kUpdateFolderPrefix[] = L"Update-";

// With a trailing backslash; empty when the system names no ProgramData folder.
[[nodiscard]] std::wstring MachineFolderPath();
