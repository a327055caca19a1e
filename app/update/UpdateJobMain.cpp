// Entry point of the update job process, CalidraUpdate.exe: the program (UpdateJobs.h) starts it for one
// update command with a request only the program makes (UpdateJobWire.h), and it performs the command with
// the program's updater, writes what it learns to its standard output (the program's pipe) and ends. It
// creates no window, claims no single-instance mutex, starts no sensor server and registers nothing.

#include "update/UpdateJobWire.h"
#include "update/UpdateServer.h"
#include "update/Updater.h"

#include "common/MachineFolder.h"
#include "common/WindowMessages.h"

#include "win/Handle.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitBadRequest = 2;

HANDLE Inherited(uint32_t value) noexcept {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

void Write(HANDLE output, const std::string& line) noexcept {
    DWORD written = 0;
    // A program that stopped reading loses the line; the job goes on to its end.
    (void)::WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::vector<std::wstring> Arguments() {
    int count = 0;
    const UniqueLocalMemory memory(::CommandLineToArgvW(::GetCommandLineW(), &count));
    const auto* args = static_cast<wchar_t**>(memory.get());
    std::vector<std::wstring> result;
    for (int i = 1; args && i < count; ++i) {
        result.emplace_back(args[i]);
    }
    return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::optional<UpdateJobRequest> request = ParseJobArguments(Arguments());
    if (!request) {
        return kExitBadRequest;
    }
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const int firmware = request->firmware;
    Updater updater([firmware](int* version) {
        *version = firmware;
        return firmware >= 0;
    });
    updater.Configure(
        [&updater, output](UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == kDownloadProgressMessage) {
                Write(output, FormatProgressLine(lParam));
                return;
            }
            // An offer's version goes first: the window asks for it when the offer comes.
            if ((wParam == kUpdateSoftware || wParam == kUpdateFirmware) && lParam) {
                Write(output, FormatVersionLine(wParam, updater.LatestVersion(wParam)));
            }
            Write(output, FormatResultLine(wParam, lParam));
        },
        ReadUpdateBaseUrl(), MachineFolderPath());
    if (request->command == WorkerCommand::kSoftwareDownload ||
        request->command == WorkerCommand::kFirmwareDownload) {
        updater.SetLatest(
            request->command == WorkerCommand::kSoftwareDownload ? kUpdateSoftware : kUpdateFirmware,
            request->version);
    }

    // The program's cancel event, or the program's end, cancels the work; the thread ends with the process.
    const HANDLE cancels[] = {Inherited(request->cancelEvent), Inherited(request->program)};
    std::thread([&updater, cancels] {
        if (::WaitForMultipleObjects(2, cancels, FALSE, INFINITE) < WAIT_OBJECT_0 + 2) {
            updater.Cancel();
        }
    }).detach();

    // The program's first command of a run removes what earlier runs' updates left.
    if (request->command == WorkerCommand::kSoftwareCheck) {
        updater.RemoveLeftovers();
    }
    updater.RunCommand(request->command, request->displayModel);
    // Ends the process with the watcher in it, which still uses updater.
    ::ExitProcess(kExitDone);
}
