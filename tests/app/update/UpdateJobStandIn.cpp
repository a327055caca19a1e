// Stands in for the update job process: answers its request with the row the firmware number names
// (UpdateJobStandIn.h), so that the program's side can be shown sound and hostile output.

#include "UpdateJobStandIn.h"

#include "update/UpdateJobWire.h"
#include "update/Updater.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

void Write(const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
}

std::string Offer() {
    return FormatVersionLine(kUpdateSoftware, L"1.0.0.6\n") + FormatResultLine(kUpdateSoftware, 1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const std::vector<std::wstring> arguments(args + 1, args + count);
    ::LocalFree(args);
    const auto request = ParseJobArguments(arguments);
    if (!request) {
        return 2;
    }
    const std::string pid = FormatProgressLine(static_cast<LPARAM>(::GetCurrentProcessId()));
    switch (request->firmware) {
        case kWellFormed:
            Write(Offer());
            break;
        case kSentinel:
            Write(FormatProgressLine(kSentinelProgress));
            break;
        case kLineTooLong:
            Write("R 1 1" + std::string(1 << 20, 'A') + "\n" + Offer());
            break;
        case kUnknownResult:
            Write(FormatResultLine(9, 1) + Offer());
            break;
        case kTooLongVersion:
            Write(FormatVersionLine(kUpdateSoftware, L"1.0.0.6.789") + Offer());
            break;
        case kBrokenHex:
            Write("V 1 00310G2E\n" + Offer());
            break;
        case kTooManyLines:
            for (int i = 1; i <= 5; ++i) {
                Write(FormatProgressLine(i));
            }
            Write(Offer());
            break;
        case kHangs:
            Write(pid);
            ::WaitForSingleObject(::GetCurrentProcess(), INFINITE);
            break;
        case kWaitsForCancel:
            Write(pid);
            ::WaitForSingleObject(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(request->cancelEvent)),
                                  INFINITE);
            break;
        case kEchoesVersion:
            Write(FormatVersionLine(kUpdateFirmware, request->version) +
                  FormatResultLine(kUpdateFirmware, 1));
            break;
        case kSetsCancel:
            ::SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(request->cancelEvent)));
            break;
        default:
            return 3;
    }
    return 0;
}
