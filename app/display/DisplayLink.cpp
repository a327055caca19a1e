#include "display/DisplayLink.h"

#include <dbt.h>

std::optional<WorkerCommand> DisplayLink::RunStep(StepPause& pause) noexcept {
    if (const std::optional<WorkerCommand> command = queue_.Pop()) {
        if (*command == WorkerCommand::kRescan) {
            Rescan();
            return std::nullopt;
        }
        return command;
    }
    if (facts_.present.load() != 0) {
        Refresh(pause);
    }
    return std::nullopt;
}

void DisplayLink::Rescan() noexcept {
    const std::vector<OpenDisplay> before = ListOpenDisplays();
    DisplayManager::Instance().RescanDisplays(facts_);
    LogDisplayChanges(before, ListOpenDisplays());
    if (snapshot_.load()) {
        return;
    }
    if (SensorSnapshotView view = MapSensorSnapshot()) {
        view_ = std::move(view);
        snapshot_.store(view_.Get());
    }
}

bool DisplayLink::Refresh(StepPause& pause) noexcept {
    const SensorSnapshot* snapshot = snapshot_.load();
    if (!snapshot) {
        return false;
    }
    const int light = light_.load();
    const TemperatureReport report =
        BuildTemperatureReport(ReadSnapshotFloat(*snapshot, kCpuTemperatureOffset),
                               ReadSnapshotFloat(*snapshot, kSecondReadingOffset), light, unit_.load());
    DisplayManager::Instance().SendReportToAll(report);
    lastReport_ = report;
    lastReportLight_ = light == kLightOn ? kLightOn : kLightOff;
    pause.Pause(refreshPauseMs_);
    return true;
}

DisplayStatus DisplayLink::Status() const noexcept {
    DisplayStatus status;
    const DisplayManager& manager = DisplayManager::Instance();
    status.count = manager.Count();
    for (int i = 0; i < 2; ++i) {
        if (const DisplayRecord* record = manager.Record(i)) {
            status.models[i] = record->modelTag;
        }
    }
    status.reported = lastReportLight_ != 0;
    status.lightOn = lastReportLight_ == kLightOn;
    status.fahrenheit = ShowsFahrenheit(lastReport_);
    status.shown = ShownTemperature(lastReport_);
    return status;
}

bool DisplayLink::OnDeviceChange(WPARAM event, LPARAM data) noexcept {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) {
        return false;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return false;
    }
    return DisplayManager::OnDeviceInterfaceChange(
        reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header), event, facts_, queue_);
}
