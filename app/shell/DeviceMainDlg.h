#pragma once

// The program's only window: a small borderless panel in the bottom-right corner with the display-light and
// unit switches, and the owner of everything that runs (settings copies, display facts, the worker thread and
// its command queue, the tray icon). Hidden, the program lives on in the notification area.

#include "display/DisplayLink.h"
#include "display/StatusPost.h"
#include "display/ThreadBasic.h"
#include "shell/TrayIcon.h"
#include "common/WindowMessages.h"
#include "update/UpdateJobs.h"
#include "update/Updater.h"

#include "core/MDialog.h"
#include "core/Types.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace Tessel {
class MControl;
}

inline constexpr UINT kCommandExit = 100;
inline constexpr UINT kTrayIconId = 109;
// The status line while the logon task is not registered because the program's files are not protected.
inline constexpr wchar_t kAutostartRefusedStatus[] = L"Autostart off: folder writable";
// A display that arrives before its driver is ready is found by one more rescan this long after the arrival.
inline constexpr UINT_PTR kLateRescanTimerId = 301;
inline constexpr UINT kLateRescanDelayMs = 3000;

// The panel is 396 pixels wide and keeps a 2-pixel margin to the work area's bottom-right corner. It is
// created 289 pixels high; a left click on the tray icon shows it 249 pixels high.
enum PanelGeometry : int {
    kPanelWidth = 396,
    kPanelHeight = 289,
    kPanelHeightFromTray = 249,
    kPanelMargin = 2
};

class DeviceMainDlg : public Tessel::MDialog, public CThreadBasic {
  public:
    DeviceMainDlg() noexcept;
    ~DeviceMainDlg() override;
    DeviceMainDlg(const DeviceMainDlg&) = delete;
    DeviceMainDlg& operator=(const DeviceMainDlg&) = delete;

    // Creates the panel at the work area's bottom-right corner and runs it modally; returns the modal result.
    UINT Run();

    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    void InitUI(CRect client) override;
    void UISize(CRect client) override;
    LRESULT OnMessage(UINT id, UINT event, WPARAM wParam, LPARAM lParam) override;
    BOOL OnMouseMove(UINT flags, CPoint pt) override;
    BOOL OnLButtonDown(UINT flags, CPoint pt) override;
    BOOL OnLButtonUp(UINT flags, CPoint pt) override;
    void OnTimer(UINT id) override;

    // "Detected the latest version:v<version>, update now?"
    [[nodiscard]] static CString UpdateQuestion(const wchar_t* version);

  protected:
    void Step() noexcept override;
    // The worker's command queue, for a step that takes the commands itself.
    [[nodiscard]] CommandQueue& Commands() noexcept { return display_.Queue(); }

  private:
    // Notification area (tray icon, menu) and the rest of the shell set-up.
    void SetUpShell();
    // wParam: the icon's id; anything else is ignored. lParam: the mouse message.
    LRESULT OnTrayCallback(WPARAM iconId, LPARAM mouseMessage);
    void ShowAtCorner();
    void ShowTrayMenu();
    // The panel's place for this height at the work area's bottom-right corner.
    [[nodiscard]] static CRect PanelRect(int height);
    // The shell was restarted (explorer's "TaskbarCreated" broadcast): the icon it lost is added again.
    void OnTaskbarCreated();

    // Worker: passes an update command taken from its queue to the update work, with the display model and,
    // for the firmware check, the first display's firmware version as they are now.
    void HandOverUpdate(WorkerCommand command) noexcept;
    // Worker: posts the display status to the window when it differs from the one posted last and the panel
    // is shown.
    void PublishDisplayStatus() noexcept;
    void OnDisplayStatus(WPARAM packed);
    // A hidden panel gets no status posts: shown again, it catches up here.
    void OnShownOrHidden(const WINDOWPOS* change);
    void SetStatusLine(std::wstring line);
    // Registers the logon task unless someone other than an administrator can change what it would start;
    // returns "" when nobody can, else the first place someone can and why.
    std::wstring RegisterStartupTaskIfProtected();

    // The switches' images and what a screen reader says of them, after the settings.
    void ApplySwitchImages();
    // A switch or the close mark acts, as when it is clicked: id of its control, or 0 for none.
    void Operate(UINT target);
    // A keyboard target: a tab stop with a name and role for screen readers and a focus ring.
    void DescribeTarget(Tessel::MControl* target, const wchar_t* name, LONG role, const wchar_t* focusRing);
    void OnUpdateResult(WPARAM what, LPARAM detail);
    void InvalidateClient();
    // Removes the tray icon and ends the process at once with exit code 0.
    [[noreturn]] void EndProgram() noexcept;

    static constexpr int kNoFirmwareAnswer = -1;

    DisplayLink display_;
    UpdateJobs updates_;
    Tessel::MControl* lightPicture_ = nullptr;  // not owned: the engine's control, id 31
    Tessel::MControl* unitPicture_ = nullptr;   // not owned: the engine's control, id 32
    Tessel::MControl* statusText_ = nullptr;    // not owned: the engine's control, id 33
    Tessel::MControl* closeTarget_ = nullptr;   // not owned: the engine's control, id 34
    std::wstring statusLine_;
    bool autostartRefused_ = false;  // the status line keeps saying why there is no logon task
    StatusPost statusPost_;
    UINT taskbarCreatedMessage_ = 0;  // registered by the shell set-up
    CRect closeArea_;
    CRect unitArea_;
    CRect lightArea_;
    bool pointerInClose_ = false;
    TrayIcon tray_;
};
