#include "display/DisplayLink.h"

#include <dbt.h>

int DisplayLink::RunStep(CThreadBasic& worker) noexcept {
    if (const std::optional<int> command = queue_.Pop()) {
        switch (*command) {
            case kCommandRescan:
                Rescan();
                return 0;
            case kCommandSoftwareCheck:
            case kCommandFirmwareCheck:
            case kCommandSoftwareDownload:
            case kCommandFirmwareDownload:
                return *command;
            default:
                return 0;
        }
    }
    if (facts_.present.load() != 0) {
        Refresh(worker);
    }
    return 0;
}

void DisplayLink::Rescan() noexcept {
    DisplayManager::Instance().RescanDisplays(facts_);
    if (snapshot_.load()) {
        return;
    }
    if (SensorSnapshotView view = MapSensorSnapshot()) {
        view_ = std::move(view);
        snapshot_.store(view_.Get());
    }
}

bool DisplayLink::Refresh(CThreadBasic& worker) noexcept {
    const SensorSnapshot* snapshot = snapshot_.load();
    if (!snapshot) {
        return false;
    }
    const TemperatureReport report = BuildTemperatureReport(
        ReadSnapshotFloat(*snapshot, kCpuTemperatureOffset),
        ReadSnapshotFloat(*snapshot, kSecondReadingOffset), light_.load(), unit_.load());
    DisplayManager::Instance().SendReportToAll(report);
    worker.Pause(refreshPauseMs_);
    return true;
}

void DisplayLink::OnDeviceChange(WPARAM event, LPARAM data) noexcept {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) {
        return;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return;
    }
    DisplayManager::OnDeviceInterfaceChange(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header),
                                            event, facts_, queue_);
}
