#pragma once

// Where the running program's files are.

#include <string>

// The folder of the running executable with a trailing backslash (also the base of the skin folder).
[[nodiscard]] std::wstring GetProgramFolder();
