#pragma once

// The program's only window: a small borderless panel in the bottom-right corner with the display-light and
// unit switches, and the owner of everything that runs (settings copies, display facts, the worker thread and
// its command queue, the tray icon). Hidden, the program lives on in the notification area.

#include "display/DisplayLink.h"
#include "display/ThreadBasic.h"

#include "core/MDialog.h"
#include "core/Types.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

namespace Tessel {
class MControl;
}

// The tray icon's callback message; the package download posts it too (wParam 0, progress in lParam).
inline constexpr UINT kTrayCallbackMessage = WM_USER + 666;
// Posted by the update checks on the worker: wParam 1 software, 2 firmware; lParam non-zero when newer.
inline constexpr UINT kUpdateResultMessage = WM_USER + 668;
// Posted by the worker when what the displays show has changed: wParam the packed DisplayStatus.
inline constexpr UINT kDisplayStatusMessage = WM_USER + 669;
inline constexpr UINT kCommandExit = 100;
inline constexpr UINT kTrayIconId = 109;
// A display that arrives before its driver is ready is found by one more rescan this long after the arrival.
inline constexpr UINT_PTR kLateRescanTimerId = 301;
inline constexpr UINT kLateRescanDelayMs = 3000;

// The update server's base address; CALIDRA_UPDATE_URL overrides it (tests and staging only).
inline constexpr wchar_t kUpdateBaseUrl[] = L"https://updates.calidra.app/";

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
    // The update server's base address, from CALIDRA_UPDATE_URL when set.
    [[nodiscard]] static std::wstring UpdateBaseUrl();

protected:
    void Step() noexcept override;

private:
    // Notification area (tray icon, menu) and the rest of the shell set-up.
    void SetUpShell();
    LRESULT OnTrayCallback(LPARAM mouseMessage);
    void ShowAtCorner();
    void ShowTrayMenu();
    void RemoveTrayIcon() noexcept;
    // The shell was restarted (explorer's "TaskbarCreated" broadcast): the icon it lost is added again.
    void OnTaskbarCreated();

    // Worker: posts the display status to the window when it differs from the one posted last.
    void PublishDisplayStatus() noexcept;
    void OnDisplayStatus(WPARAM packed);

    void ApplySwitchImages();
    void OnUpdateResult(WPARAM kind, LPARAM newer);
    void InvalidateClient();

    DisplayLink display_;
    Tessel::MControl* lightPicture_ = nullptr;  // not owned: the engine's control, id 31
    Tessel::MControl* unitPicture_ = nullptr;   // not owned: the engine's control, id 32
    Tessel::MControl* statusText_ = nullptr;    // not owned: the engine's control, id 33
    std::wstring statusLine_;
    uint32_t publishedStatus_ = UINT32_MAX;  // worker only; no status was ever this value
    UINT taskbarCreatedMessage_ = 0;         // registered by the shell set-up
    CRect closeArea_;
    CRect unitArea_;
    CRect lightArea_;
    bool pointerInClose_ = false;
    std::wstring softwareUrl_;
    std::wstring currentVersion_;
    std::wstring newSoftwareVersion_;  // written by the update check before it posts its result
    std::wstring firmwareK1Url_;
    std::wstring firmwareK2Url_;
    std::wstring newFirmwareVersion_;  // written by the update check before it posts its result
    NOTIFYICONDATAW tray_{};           // hIcon doubles as the "icon is shown" marker
};
