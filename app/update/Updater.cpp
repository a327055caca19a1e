#include "update/Updater.h"

#include "update/ExtractZip.h"
#include "update/InstallerLaunch.h"
#include "update/PackageSignature.h"
#include "update/Versions.h"

#include "security/AdminFolder.h"

#include "common/MachineFolder.h"
#include "common/Product.h"
#include "common/ProgramLog.h"
#include "common/WindowMessages.h"

#include "win/Handle.h"

#include <cwctype>

namespace {

constexpr LPARAM kNewer = 1;
// Package "<name>-<version>.zip" holds installer "<name>-<version>.exe".
constexpr wchar_t kSoftwarePackage[] = L"Software-";
constexpr wchar_t kFirmwarePackage[] = L"FirmwareUpdateTool-";

// The server's text for the log: control characters would start lines of their own.
std::wstring Printable(std::wstring text) {
    for (wchar_t& c : text) {
        c = std::iswcntrl(c) ? L'?' : c;
    }
    return text;
}

// Deletes an open file through its handle (opened with DELETE); it goes when the handle is closed.
void DeleteWhenClosed(HANDLE file) noexcept {
    FILE_DISPOSITION_INFO remove{TRUE};
    ::SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof(remove));
}

}  // namespace

void Updater::Configure(UpdateNotify notify, const std::wstring& baseUrl, const std::wstring& machineFolder) {
    notify_ = std::move(notify);
    baseUrl_ = baseUrl;
    currentVersion_ = kProductVersion;
    machineFolder_ = machineFolder;
}

void Updater::RemoveLeftovers() noexcept {
    try {
        AdminFolder machine;
        std::wstring why;
        if (machineFolder_.empty() || !machine.Open(machineFolder_, kUsersMayReadRules, &why)) {
            return;
        }
        if (const int removed = AdminFolder::RemoveLeftovers(machine, kUpdateFolderPrefix)) {
            LogEvent(L"Removed %d update folder(s) left from earlier runs", removed);
        }
    } catch (...) {
        // Out of memory: the next start tries again.
    }
}

void Updater::RunCommand(WorkerCommand command, int displayModel) noexcept {
    if (cancelled_.load()) {
        return;
    }
    switch (command) {
        case WorkerCommand::kSoftwareCheck:
            CheckSoftware();
            break;
        case WorkerCommand::kFirmwareCheck:
            CheckFirmware(displayModel);
            break;
        case WorkerCommand::kSoftwareDownload:
        case WorkerCommand::kFirmwareDownload: {
            const WPARAM kind =
                command == WorkerCommand::kSoftwareDownload ? kUpdateSoftware : kUpdateFirmware;
            switch (Install(kind, displayModel)) {
                case InstallOutcome::kStarted:
                    Post(kUpdateInstallerStarted, 0);
                    break;
                case InstallOutcome::kNotInstalled:
                    Post(kUpdateNotInstalled, static_cast<LPARAM>(kind));
                    break;
                case InstallOutcome::kCancelled:
                    break;
            }
            break;
        }
        default:
            break;
    }
}

std::wstring Updater::LatestVersion(WPARAM kind) const {
    const std::lock_guard lock(latestMutex_);
    return kind == kUpdateFirmware ? latestFirmware_ : latestSoftware_;
}

void Updater::Cancel() noexcept {
    cancelled_.store(true);
    download_.Stop();
}

void Updater::CheckSoftware() noexcept {
    const std::wstring folder = baseUrl_ + kSoftwareFolder;
    const std::wstring version = FetchVersion(folder);
    if (version.empty()) {
        LogEvent(L"Software check: no version from %ls", folder.c_str());
        return;
    }
    SetLatest(kUpdateSoftware, version);
    const bool newer = CompareVersion(currentVersion_, version) >= 1;
    LogEvent(L"Software check: the server has %ls, this is %ls%ls", Printable(version).c_str(),
             currentVersion_.c_str(), newer ? L": offered" : L"");
    if (newer) {
        Post(kUpdateSoftware, kNewer);
    }
}

void Updater::CheckFirmware(int displayModel) noexcept {
    SetLatest(kUpdateFirmware, {});
    const std::wstring folder = baseUrl_ + FirmwareFolder(displayModel);
    const std::wstring version = FetchVersion(folder);
    if (version.empty()) {
        LogEvent(L"Firmware check: no version from %ls", folder.c_str());
        return;
    }
    SetLatest(kUpdateFirmware, version);
    int displayVersion = -1;
    const bool answered = queryFirmware_ && queryFirmware_(&displayVersion);
    const bool newer = answered && IsFirmwareNewer(version, displayVersion);
    LogEvent(answered ? L"Firmware check: the server has %ls, the display %x%ls"
                      : L"Firmware check: the server has %ls, no display answered",
             Printable(version).c_str(), displayVersion, newer ? L": offered" : L"");
    if (newer) {
        Post(kUpdateFirmware, kNewer);
    }
}

InstallOutcome Updater::Install(WPARAM kind, int displayModel) noexcept {
    const std::wstring latest = LatestVersion(kind);
    const std::wstring version = PackageVersion(latest);
    if (version.empty()) {
        LogEvent(L"Update not installed: the version cannot name a package: %ls", Printable(latest).c_str());
        return InstallOutcome::kNotInstalled;
    }
    try {
        return InstallPackage(kind == kUpdateSoftware, version, displayModel);
    } catch (...) {
        LogEvent(L"Update not installed: out of memory");
        return InstallOutcome::kNotInstalled;
    }
}

InstallOutcome Updater::InstallPackage(bool software, const std::wstring& version, int displayModel) {
    const auto notInstalled = [](const wchar_t* why, const std::wstring& what) {
        LogEvent(L"Update not installed: %ls %ls", why, what.c_str());
        return InstallOutcome::kNotInstalled;
    };
    const std::wstring stem = (software ? kSoftwarePackage : kFirmwarePackage) + version;
    const std::wstring packageName = stem + L".zip";
    const std::wstring installerName = stem + L".exe";
    const wchar_t* const folderName = software ? kSoftwareFolder : FirmwareFolder(displayModel);
    // The folder ends with "/" and two more follow: package addresses have always had this form, and update
    // servers' rules and logs match it as it is.
    const std::wstring url = baseUrl_ + folderName + L"//" + packageName;

    // A fresh folder of this update's own, which only administrators can change: nothing another process
    // planted (a DLL an installer would load from its folder, a link) can be in it.
    AdminFolder machine;
    AdminFolder folder;
    std::wstring why;
    if (machineFolder_.empty()) {
        return notInstalled(L"there is no machine-wide folder", {});
    }
    if (!machine.Open(machineFolder_, kUsersMayReadRules, &why) ||
        !folder.MakeFresh(machine, kUpdateFolderPrefix, kAdministratorsOnlyRules, &why)) {
        return notInstalled(L"no update folder:", why);
    }
    if (!why.empty()) {
        LogEvent(L"Machine-wide folder: %ls", why.c_str());
    }
    const UniqueFileHandle package = folder.NewFile(packageName, &why);
    if (!package) {
        return notInstalled(L"no package file:", why);
    }
    const int downloaded = download_.DownloadFile(url, package.get(), notify_);
    if (cancelled_.load() || downloaded == kTransferStopped) {
        return InstallOutcome::kCancelled;
    }
    if (downloaded != kTransferDone) {
        return notInstalled(L"no package from", url);
    }
    // The signature vouches for the bytes as they were written, read through `package`, which nobody can
    // open, change or replace while it is held; they are what is unpacked next. Without it nothing is
    // unpacked and the package goes with the folder.
    const SignatureCheck signature =
        CheckPackageSignature(download_, url, package.get(), {folderName, packageName, version});
    if (cancelled_.load()) {
        return InstallOutcome::kCancelled;
    }
    if (signature != SignatureCheck::kValid) {
        return notInstalled(SignatureCheckText(signature), L"(" + url + L")");
    }
    if (!ExtractZip(package.get(), folder.Path())) {
        return notInstalled(L"the package is no zip archive:", url);
    }
    DeleteWhenClosed(package.get());
    // The folder is fresh and only administrators can change it: an installer in it is the one this unpacking
    // wrote. It is held from here until it has started.
    const UniqueFileHandle pinned = folder.PinFile(installerName, &why);
    if (!pinned) {
        return notInstalled(L"the package brought no installer:", why);
    }
    const std::wstring installer = folder.Path() + installerName;
    DWORD error = 0;
    if (!StartInstaller(installer, folder.Path(), &error)) {
        return notInstalled(L"the installer did not start:",
                            installer + L" (error " + std::to_wstring(error) + L")");
    }
    // It runs from the folder: the next start removes it. Nothing queued after this runs.
    folder.Keep();
    Cancel();
    LogEvent(L"Update installer started: %ls", installer.c_str());
    return InstallOutcome::kStarted;
}

const wchar_t* Updater::FirmwareFolder(int displayModel) noexcept {
    return displayModel == kModelK1 ? kFirmwareK1Folder : kFirmwareK2Folder;
}

std::wstring Updater::FetchVersion(const std::wstring& folderUrl) noexcept {
    HttpTransfer transfer;
    std::wstring text;
    (void)transfer.FetchText(folderUrl + kVersionFileName, &text);
    return IsVersionText(text) ? text : std::wstring();
}

void Updater::SetLatest(WPARAM kind, const std::wstring& version) {
    const std::lock_guard lock(latestMutex_);
    (kind == kUpdateFirmware ? latestFirmware_ : latestSoftware_) = version;
}

void Updater::Post(WPARAM what, LPARAM detail) const noexcept {
    if (notify_) {
        notify_(kUpdateResultMessage, what, detail);
    }
}
