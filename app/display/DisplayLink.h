#pragma once

// Everything the main window's worker step needs, in one object the main window owns: the command queue, the
// display facts, copies of the two settings, and the sensor snapshot (mapped by the first rescan).
//
// Wiring in the main window (DeviceMainDlg derives from MDialog and CThreadBasic and holds a DisplayLink):
//
//   void Step() noexcept override {                       // CThreadBasic's step
//       if (const std::optional<WorkerCommand> command = display_.RunStep(*this)) {
//           updates_.HandOver(*command, ...);             // the update checks and downloads run there
//       }
//   }
//   OnInitDialog:  display_.SetLight(ReadLightSetting()); display_.SetUnit(ReadSetting(kSettingUnit));
//                  DisplayManager::RegisterDisplayNotifications(hwnd);  (after the tray icon)
//                  Start(); then queue the software check, the rescan and the firmware check.
//   WM_DEVICECHANGE: display_.OnDeviceChange(wParam, lParam); return 0;
//   light / unit clicks: display_.SetLight(...), display_.SetUnit(...) next to WriteSetting.
//   watchdog timer: display_.Snapshot() (null until mapped) for SnapshotLiveness.
//   firmware check: display_.Facts().model and DisplayManager::Instance().QueryFirmwareVersion, at the
//                   hand-over, on the worker.
//   tray menu: DisplayManager::Instance().Count().
//   destructor: updates_.Shutdown(); StopAndJoin();  before the members go.

#include "display/CommandQueue.h"
#include "display/DisplayManager.h"
#include "display/DisplayStatus.h"
#include "display/StepPause.h"
#include "sensors/SensorSnapshot.h"
#include "win/Handle.h"

#include <windows.h>

#include <atomic>
#include <optional>

class DisplayLink {
  public:
    static constexpr DWORD kRefreshPauseMs = 1000;

    // refreshPauseMs: how long the worker rests after each temperature report.
    explicit DisplayLink(DWORD refreshPauseMs = kRefreshPauseMs) noexcept : refreshPauseMs_(refreshPauseMs) {}
    DisplayLink(const DisplayLink&) = delete;
    DisplayLink& operator=(const DisplayLink&) = delete;

    // UI thread: appends a worker command.
    void QueueCommand(WorkerCommand command) noexcept { queue_.Push(command); }
    [[nodiscard]] CommandQueue& Queue() noexcept { return queue_; }

    // One worker step: takes the oldest command and performs it if it is the rescan, or, with nothing queued
    // and a display present, sends one temperature report and pauses through pause. Returns any other command
    // taken from the queue, for the caller to perform or drop; nothing when there was none.
    [[nodiscard]] std::optional<WorkerCommand> RunStep(StepPause& pause) noexcept;

    // WorkerCommand::kRescan: rescans the displays (logging those found and lost), then maps the sensor
    // snapshot if that has not succeeded yet.
    void Rescan() noexcept;

    // One temperature report from the snapshot and the settings to every display, then the refresh pause.
    // Sends nothing (and does not pause) while the snapshot is not mapped. True if a report was sent.
    bool Refresh(StepPause& pause) noexcept;

    // Worker thread: the open displays and what the last report made them show.
    [[nodiscard]] DisplayStatus Status() const noexcept;

    // UI thread, WM_DEVICECHANGE: forwards device-interface arrivals and removals to DisplayManager. True
    // when the event was about a display.
    bool OnDeviceChange(WPARAM event, LPARAM data) noexcept;

    [[nodiscard]] DisplayFacts& Facts() noexcept { return facts_; }
    void SetLight(int light) noexcept { light_.store(light); }
    void SetUnit(int unit) noexcept { unit_.store(unit); }
    [[nodiscard]] int Light() const noexcept { return light_.load(); }
    [[nodiscard]] int Unit() const noexcept { return unit_.load(); }
    // The mapped sensor block, or null before the first successful mapping. Never cleared once set.
    [[nodiscard]] const SensorSnapshot* Snapshot() const noexcept { return snapshot_.load(); }

  private:
    const DWORD refreshPauseMs_;
    CommandQueue queue_;
    DisplayFacts facts_;
    std::atomic<int> light_{kLightOn};
    std::atomic<int> unit_{0};
    SensorSnapshotView view_;         // worker only
    TemperatureReport lastReport_{};  // worker only
    int lastReportLight_ = 0;         // worker only; 0 until the first report
    std::atomic<const SensorSnapshot*> snapshot_{nullptr};
};
