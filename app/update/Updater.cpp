#include "update/Updater.h"

#include "update/ExtractZip.h"
#include "update/UserDataFolder.h"
#include "update/Versions.h"

#include "display/DisplayManager.h"
#include "shell/Product.h"
#include "shell/ProgramLog.h"
#include "shell/WindowMessages.h"

#include "core/Handle.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cwctype>

namespace {

constexpr LPARAM kNewer = 1;
constexpr wchar_t kTempFolder[] = L"\\temp\\";  // after a folder that ends with "\" already, as it always has

// Package "<name>-<version>.zip" holds installer "<name>-<version>.exe".
constexpr wchar_t kSoftwarePackage[] = L"Software-";
constexpr wchar_t kFirmwarePackage[] = L"FirmwareUpdateTool-";

// ShellExecute may hand the start to shell extensions, which expect COM on the calling thread.
class ComApartment {
  public:
    ComApartment() noexcept
        : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result_;
};

// The server's text for the log: control characters would start lines of their own.
std::wstring Printable(std::wstring text) {
    for (wchar_t& c : text) {
        c = std::iswcntrl(c) ? L'?' : c;
    }
    return text;
}

// Removes whatever lies at path, read-only or not; true if nothing is there afterwards.
bool RemoveFile(const std::wstring& path) noexcept {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
    return ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void Updater::Configure(HWND window, const std::wstring& baseUrl, const std::wstring& userDataFolder) {
    window_ = window;
    softwareUrl_ = baseUrl + kSoftwareFolder;
    firmwareK1Url_ = baseUrl + kFirmwareK1Folder;
    firmwareK2Url_ = baseUrl + kFirmwareK2Folder;
    currentVersion_ = kProductVersion;
    userDataFolder_ = userDataFolder;
}

void Updater::RunCommand(int command, int displayModel) noexcept {
    if (cancelled_.load()) {
        return;
    }
    switch (command) {
        case kCommandSoftwareCheck:
            CheckSoftware();
            break;
        case kCommandFirmwareCheck:
            CheckFirmware(displayModel);
            break;
        case kCommandSoftwareDownload:
        case kCommandFirmwareDownload: {
            const WPARAM kind = command == kCommandSoftwareDownload ? kUpdateSoftware : kUpdateFirmware;
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
    const std::wstring version = FetchVersion(softwareUrl_);
    if (version.empty()) {
        LogEvent(L"Software check: no version from %ls", softwareUrl_.c_str());
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
    const std::wstring& folder = FirmwareFolderUrl(displayModel);
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
    const auto notInstalled = [](const wchar_t* why, const std::wstring& what) noexcept {
        LogEvent(L"Update not installed: %ls %ls", why, what.c_str());
        return InstallOutcome::kNotInstalled;
    };
    const bool software = kind == kUpdateSoftware;
    const std::wstring version = PackageVersion(LatestVersion(kind));
    if (version.empty()) {
        return notInstalled(L"the version cannot name a package:", Printable(LatestVersion(kind)));
    }
    if (userDataFolder_.empty()) {
        return notInstalled(L"there is no user data folder", {});
    }
    const std::wstring stem = (software ? kSoftwarePackage : kFirmwarePackage) + version;
    const std::wstring packageName = stem + L".zip";
    const std::wstring url =
        (software ? softwareUrl_ : FirmwareFolderUrl(displayModel)) + L"//" + packageName;
    const std::wstring temp = userDataFolder_ + kTempFolder;
    const std::wstring package = temp + packageName;
    const std::wstring installer = temp + stem + L".exe";

    (void)CreateFolderTree(temp);
    RemoveFile(package);
    const int downloaded = download_.DownloadFile(url, package, window_);
    if (cancelled_.load() || downloaded == kTransferStopped) {
        return InstallOutcome::kCancelled;
    }
    if (downloaded != kTransferDone || !::PathFileExistsW(package.c_str())) {
        return notInstalled(L"no package from", url);
    }
    // Only an installer that this package brought may start: whatever an earlier attempt or another program
    // left under its name goes first.
    if (!RemoveFile(installer)) {
        return notInstalled(L"an earlier file cannot be removed:", installer);
    }
    if (!ExtractZip(package, temp)) {
        return notInstalled(L"the package is no zip archive:", package);
    }
    RemoveFile(package);
    // Held without write or delete sharing from here until it has started, so it cannot be swapped meanwhile.
    const UniqueFileHandle pinned(::CreateFileW(installer.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!pinned) {
        return notInstalled(L"the package brought no", installer);
    }
    const ComApartment com;
    const auto started = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", installer.c_str(), nullptr, nullptr, SW_SHOW));
    if (started <= 32) {
        return notInstalled(L"the installer did not start:", installer);
    }
    LogEvent(L"Update installer started: %ls", installer.c_str());
    return InstallOutcome::kStarted;
}

const std::wstring& Updater::FirmwareFolderUrl(int displayModel) const noexcept {
    return displayModel == kModelK1 ? firmwareK1Url_ : firmwareK2Url_;
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
    if (window_) {
        ::PostMessageW(window_, kUpdateResultMessage, what, detail);
    }
}
