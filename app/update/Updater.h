#pragma once

// The program's update work, run in the short-lived update job process (UpdateJobMain.cpp), one command per
// process: the start-up checks for new software (WorkerCommand::kSoftwareCheck) and display firmware
// (WorkerCommand::kFirmwareCheck), and, once the user has accepted an offer, the download of the package, its
// unpacking and the start of its installer (WorkerCommand::kSoftwareDownload,
// WorkerCommand::kFirmwareDownload). Everything it learns goes out as kUpdateResultMessage and
// kDownloadProgressMessage notifications (UpdateNotify.h), which reach the main window; the dialogue with the
// user stays there.

#include "update/HttpTransfer.h"
#include "update/UpdateNotify.h"
#include "update/UpdateResults.h"

#include "common/WorkerCommand.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

inline constexpr wchar_t kSoftwareFolder[] = L"display-K/K1K2/software/";
inline constexpr wchar_t kFirmwareK1Folder[] = L"display-K/K1K2/firmware-K1/";
inline constexpr wchar_t kFirmwareK2Folder[] = L"display-K/K1K2/firmware-K2/";
inline constexpr wchar_t kVersionFileName[] = L"version";

enum class InstallOutcome {
    kStarted,       // this package's installer was started
    kNotInstalled,  // nothing usable was downloaded, unpacked or started
    kCancelled,     // Cancel came first
};

class Updater {
  public:
    // The first display's firmware version (a 16-bit number); false if no display answers. Called on the
    // thread that runs the firmware check.
    using FirmwareQuery = std::function<bool(int* version)>;

    explicit Updater(FirmwareQuery queryFirmware) noexcept : queryFirmware_(std::move(queryFirmware)) {}
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Before a command runs: where the results and the download progress go, the server's base
    // address (ending with "/"), and the program's machine-wide folder (ending with "\", MachineFolder.h), in
    // which each accepted update gets a folder of its own that only administrators can change. Without a
    // machine-wide folder nothing is installed.
    void Configure(UpdateNotify notify, const std::wstring& baseUrl, const std::wstring& machineFolder);

    // Removes the update folders of earlier runs that nothing uses any more (an installer that was started
    // from one runs there until it ends). Any thread.
    void RemoveLeftovers() noexcept;

    // Performs one of the four update commands above (displayModel: kModelK1, kModelK2, 0 none); any other
    // command is ignored.
    void RunCommand(WorkerCommand command, int displayModel) noexcept;

    // After a kUpdateSoftware or kUpdateFirmware result: the version text the check found.
    [[nodiscard]] std::wstring LatestVersion(WPARAM kind) const;
    // The version a download command fetches: the one an earlier check found.
    void SetLatest(WPARAM kind, const std::wstring& version);

    // Any thread: a running download ends after its current read, and later commands do nothing. Done by
    // the updater itself once an installer has started.
    void Cancel() noexcept;

    // The pieces of the commands, public for the tests.
    void CheckSoftware() noexcept;
    void CheckFirmware(int displayModel) noexcept;
    [[nodiscard]] InstallOutcome Install(WPARAM kind, int displayModel) noexcept;

  private:
    // The folder below the server's base address that serves this display model's firmware tool.
    [[nodiscard]] static const wchar_t* FirmwareFolder(int displayModel) noexcept;
    // The version file of folderUrl, or empty when there is none or it is not a version text.
    [[nodiscard]] static std::wstring FetchVersion(const std::wstring& folderUrl) noexcept;
    void Post(WPARAM what, LPARAM detail) const noexcept;
    [[nodiscard]] InstallOutcome InstallPackage(bool software, const std::wstring& version, int displayModel);

    const FirmwareQuery queryFirmware_;
    UpdateNotify notify_;
    std::wstring baseUrl_;
    std::wstring currentVersion_;
    std::wstring machineFolder_;
    mutable std::mutex latestMutex_;  // a check writes the latest versions, Cancel's caller may read them
    std::wstring latestSoftware_;
    std::wstring latestFirmware_;
    HttpTransfer download_;  // one for every download: its last progress carries over to the next
    std::atomic<bool> cancelled_{false};
};
