#include "common/ProgramFolder.h"

#include "core/Manager.h"

std::wstring GetProgramFolder() {
    return Tessel::Manager::GetAppFolder().GetString();
}
