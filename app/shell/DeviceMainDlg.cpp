#include "shell/DeviceMainDlg.h"

#include "common/ProgramFolder.h"
#include "common/ProgramLog.h"
#include "common/Product.h"
#include "shell/Settings.h"
#include "shell/StartupTask.h"
#include "shell/MessageBox.h"

#include "security/ProgramFolderCheck.h"

#include "display/DisplayManager.h"
#include "sensors/SensorServer.h"

#include "controls/MControl.h"
#include "controls/MObject.h"
#include "controls/MPicture.h"
#include "controls/MText.h"

namespace {

constexpr UINT kLightPictureId = 31;
constexpr UINT kUnitPictureId = 32;
constexpr UINT kStatusTextId = 33;
// Over the close mark of the background: draws nothing, takes the keyboard focus.
constexpr UINT kCloseTargetId = 34;

const CRect kCloseArea(360, 15, 380, 35);
const CRect kLightArea(215, 95, 286, 118);
const CRect kUnitArea(215, 152, 286, 175);
// The status line sits in the title row, right-aligned, between the title and the close mark.
const CRect kStatusArea(140, 16, 352, 40);
const Gdiplus::Color kStatusColor(0xFF8C96A5);
constexpr int kStatusFontSize = 12;
constexpr UINT kAlignRight = 2;
constexpr UINT kAlignMiddle = 4;

// What a screen reader says, and the rings that show the keyboard focus.
constexpr wchar_t kLightName[] = L"Display light";
constexpr wchar_t kUnitName[] = L"Temperature unit";
constexpr wchar_t kCloseName[] = L"Hide panel";
constexpr wchar_t kSwitchFocusRing[] = L"img_focus_switch.png";
constexpr wchar_t kCloseFocusRing[] = L"img_focus_close.png";

constexpr wchar_t kSoftwareUpdatesTitle[] = L"Software Updates";
constexpr wchar_t kFirmwareUpdatesTitle[] = L"Firmware Updates";
constexpr wchar_t kNotInstalledText[] = L"The update could not be installed.";

Tessel::MPicture* AsPicture(Tessel::MControl* control) noexcept {
    return static_cast<Tessel::MPicture*>(control);
}

}  // namespace

DeviceMainDlg::DeviceMainDlg() noexcept = default;

DeviceMainDlg::~DeviceMainDlg() {
    // Both threads use this object: they must be gone before the members are. A running update job is
    // cancelled, and ended if it does not end soon.
    updates_.Shutdown();
    StopAndJoin();
}

CRect DeviceMainDlg::PanelRect(int height) {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return CRect(work.right - kPanelMargin - kPanelWidth, work.bottom - kPanelMargin - height,
                 work.right - kPanelMargin, work.bottom - kPanelMargin);
}

UINT DeviceMainDlg::Run() {
    const CRect rect = PanelRect(kPanelHeight);
    Create(nullptr, kProductTitle, WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
           WS_EX_TOOLWINDOW, rect);
    // The panel is shown from the start; the modal run must not hide the window that was created visible.
    return ShowModal(SW_SHOWNOACTIVATE);
}

BOOL DeviceMainDlg::OnInitDialog() {
    MDialog::OnInitDialog();

    display_.SetLight(ReadLightSetting());
    display_.SetUnit(ReadSetting(kSettingUnit));

    LoadBKImage(L"img_bkg.png");
    ApplySwitchImages();

    const std::wstring unprotected = RegisterStartupTaskIfProtected();
    StartSensorServer(0);
    SetUpShell();
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);

    updates_.Configure(GetSafeHwnd(), GetProgramFolder(), unprotected);
    if (!IsRunning()) {
        (void)Start();
    }
    display_.QueueCommand(WorkerCommand::kSoftwareCheck);
    display_.QueueCommand(WorkerCommand::kRescan);
    display_.QueueCommand(WorkerCommand::kFirmwareCheck);

    SetTimer(kSensorWatchdogTimerId, kSensorWatchdogPeriodMs, nullptr);
    return TRUE;
}

void DeviceMainDlg::InitUI(CRect client) {
    SetLayeredWindow(TRUE);
    // The switches and the close mark are controls, in the order Tab visits them.
    lightPicture_ = CreateControl(L"MPicture", kLightPictureId, CRect(), L"", 1, 1);
    unitPicture_ = CreateControl(L"MPicture", kUnitPictureId, CRect(), L"", 1, 1);
    closeTarget_ = CreateControl(L"MPicture", kCloseTargetId, CRect(), L"", 1, 1);
    DescribeTarget(lightPicture_, kLightName, ROLE_SYSTEM_CHECKBUTTON, kSwitchFocusRing);
    DescribeTarget(unitPicture_, kUnitName, ROLE_SYSTEM_PUSHBUTTON, kSwitchFocusRing);
    DescribeTarget(closeTarget_, kCloseName, ROLE_SYSTEM_PUSHBUTTON, kCloseFocusRing);
    statusLine_ = FormatDisplayStatus(DisplayStatus{});
    statusText_ = CreateArea(L"MText", kStatusTextId, CRect(), statusLine_.c_str(), 1, 1);
    if (auto* text = static_cast<Tessel::MText*>(statusText_)) {
        text->SetAlignment(kAlignRight, kAlignMiddle);
        text->SetTextColor(kStatusColor);
        text->SetFontWidth(kStatusFontSize);
    }
    UISize(client);
}

void DeviceMainDlg::UISize(CRect client) {
    // The first size message of the visible window arrives before InitUI has created the pictures.
    if (client.Width() <= 10) {
        return;
    }
    closeArea_ = kCloseArea;
    lightArea_ = kLightArea;
    unitArea_ = kUnitArea;
    if (lightPicture_) {
        lightPicture_->SetRect(lightArea_);
    }
    if (unitPicture_) {
        unitPicture_->SetRect(unitArea_);
    }
    if (closeTarget_) {
        closeTarget_->SetRect(closeArea_);
    }
    if (statusText_) {
        statusText_->SetRect(kStatusArea);
    }
}

void DeviceMainDlg::DescribeTarget(Tessel::MControl* target, const wchar_t* name, LONG role,
                                   const wchar_t* focusRing) {
    if (!target) {
        return;
    }
    target->SetTabStop(1);
    Tessel::PaintManager& engine = GetPaintManager();
    engine.SetAccessibleName(target, name);
    engine.SetAccessibleRole(target, role);
    engine.SetFocusRing(target, focusRing);
}

void DeviceMainDlg::ApplySwitchImages() {
    if (lightPicture_) {
        AsPicture(lightPicture_)
            ->SetImage(display_.Light() == kLightOn ? L"img_led_on.png" : L"img_dev_off.png", 1);
    }
    if (unitPicture_) {
        AsPicture(unitPicture_)
            ->SetImage(display_.Unit() == 0 ? L"img_temp_type1.png" : L"img_temp_type2.png", 1);
    }
    Tessel::PaintManager& engine = GetPaintManager();
    engine.SetAccessibleChecked(lightPicture_, display_.Light() == kLightOn);
    engine.SetAccessibleValue(unitPicture_, display_.Unit() == 0 ? L"Celsius" : L"Fahrenheit");
}

LRESULT DeviceMainDlg::OnMessage(UINT id, UINT event, WPARAM, LPARAM) {
    // Space, Enter and assistive programs click the switches and the close mark through their controls.
    if (event == Tessel::kNotifyClicked) {
        Operate(id);
    }
    return 0;
}

void DeviceMainDlg::Operate(UINT target) {
    if (target == kLightPictureId) {
        const bool turnOff = display_.Light() == kLightOn;
        display_.SetLight(turnOff ? kLightOff : kLightOn);
        WriteSetting(kSettingLight, turnOff ? L"2" : L"1");
    } else if (target == kUnitPictureId) {
        const bool toCelsius = display_.Unit() != 0;
        display_.SetUnit(toCelsius ? 0 : 1);
        WriteSetting(kSettingUnit, toCelsius ? L"0" : L"1");
    } else if (target == kCloseTargetId) {
        ShowWindow(FALSE);
    }
    ApplySwitchImages();
    InvalidateClient();
}

BOOL DeviceMainDlg::OnMouseMove(UINT flags, CPoint pt) {
    const BOOL result = MDialog::OnMouseMove(flags, pt);
    const bool inClose = closeArea_.PtInRect(pt) != FALSE;
    if (inClose != pointerInClose_) {
        pointerInClose_ = inClose;
        InvalidateClient();
    }
    return result;
}

BOOL DeviceMainDlg::OnLButtonDown(UINT flags, CPoint pt) {
    const BOOL result = MDialog::OnLButtonDown(flags, pt);
    // A press outside the three areas still re-applies the images and repaints.
    Operate(lightArea_.PtInRect(pt)   ? kLightPictureId
            : unitArea_.PtInRect(pt)  ? kUnitPictureId
            : closeArea_.PtInRect(pt) ? kCloseTargetId
                                      : 0);
    return result;
}

BOOL DeviceMainDlg::OnLButtonUp(UINT flags, CPoint pt) {
    return MDialog::OnLButtonUp(flags, pt);
}

void DeviceMainDlg::OnTimer(UINT id) {
    if (id == kSensorWatchdogTimerId && SensorWatchdogTick(display_.Snapshot())) {
        KillTimer(kSensorWatchdogTimerId);
    } else if (id == kLateRescanTimerId) {
        KillTimer(kLateRescanTimerId);
        display_.QueueCommand(WorkerCommand::kRescan);
    }
}

void DeviceMainDlg::InvalidateClient() {
    CRect client;
    GetClientRect(&client);
    InvalidateRect(client, FALSE);
}

LRESULT DeviceMainDlg::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (taskbarCreatedMessage_ != 0 && msg == taskbarCreatedMessage_) {
        OnTaskbarCreated();
        return 0;
    }
    switch (msg) {
        case WM_DEVICECHANGE:
            // Each arrival restarts the timer: the late rescan follows the last of a burst.
            if (display_.OnDeviceChange(wParam, lParam) && wParam == DBT_DEVICEARRIVAL) {
                SetTimer(kLateRescanTimerId, kLateRescanDelayMs, nullptr);
            }
            return 0;
        case WM_POWERBROADCAST:
            // Display handles opened before a suspend may be dead after it: open them all again.
            if (wParam == PBT_APMRESUMEAUTOMATIC) {
                LogEvent(L"Resumed from sleep: rescanning the displays");
                display_.QueueCommand(WorkerCommand::kRescan);
            }
            return TRUE;
        case kDisplayStatusMessage:
            OnDisplayStatus(wParam);
            return 0;
        case WM_WINDOWPOSCHANGED:
            OnShownOrHidden(reinterpret_cast<const WINDOWPOS*>(lParam));
            break;
        case kTrayCallbackMessage:
            return OnTrayCallback(wParam, lParam);
        case kUpdateResultMessage:
            OnUpdateResult(wParam, lParam);
            return 0;
        case WM_KEYDOWN:
            // Escape hides the panel as its close mark does.
            if (wParam == VK_ESCAPE) {
                Operate(kCloseTargetId);
                return 0;
            }
            break;
        case WM_COMMAND:
            if (wParam == kCommandExit) {
                LogEvent(L"Calidra ends (Exit from the tray menu)");
                EndProgram();
            }
            break;
        default:
            break;
    }
    return MDialog::OnWindowMessage(msg, wParam, lParam);
}

CString DeviceMainDlg::UpdateQuestion(const wchar_t* version) {
    CString text;
    text.Format(L"%ls:v%ls, %ls", L"Detected the latest version", version ? version : L"", L"update now?");
    return text;
}

void DeviceMainDlg::OnUpdateResult(WPARAM what, LPARAM detail) {
    switch (what) {
        case kUpdateSoftware:
        case kUpdateFirmware: {
            if (!detail) {
                return;
            }
            const bool software = what == kUpdateSoftware;
            const CString question = UpdateQuestion(updates_.LatestVersion(what).c_str());
            if (ShowMessageBox(question, software ? kSoftwareUpdatesTitle : kFirmwareUpdatesTitle,
                               MB_YESNO) == 1) {
                display_.QueueCommand(software ? WorkerCommand::kSoftwareDownload
                                               : WorkerCommand::kFirmwareDownload);
            }
            return;
        }
        case kUpdateInstallerStarted:
            // The installer replaces this program's files: end as "Exit" does.
            LogEvent(L"Calidra ends (an update's installer started)");
            EndProgram();
        case kUpdateNotInstalled:
            ShowMessageBox(kNotInstalledText,
                           detail == static_cast<LPARAM>(kUpdateFirmware) ? kFirmwareUpdatesTitle
                                                                          : kSoftwareUpdatesTitle,
                           MB_OK);
            return;
        default:
            return;
    }
}

void DeviceMainDlg::EndProgram() noexcept {
    updates_.Shutdown();
    tray_.Remove();
    ::ExitProcess(0);
}

void DeviceMainDlg::Step() noexcept {
    if (const std::optional<WorkerCommand> command = display_.RunStep(*this)) {
        HandOverUpdate(*command);
    }
    PublishDisplayStatus();
}

void DeviceMainDlg::HandOverUpdate(WorkerCommand command) noexcept {
    // The displays belong to this thread: the first one is asked for its firmware here, before the check
    // fetches the server's version in its job, which then compares with this answer.
    int firmware = kNoFirmwareAnswer;
    if (int version = 0; command == WorkerCommand::kFirmwareCheck &&
                         DisplayManager::Instance().QueryFirmwareVersion(&version)) {
        firmware = version;
    }
    (void)updates_.HandOver(command, display_.Facts().model.load(), firmware);
}

void DeviceMainDlg::PublishDisplayStatus() noexcept {
    const std::optional<uint32_t> status = statusPost_.ToPost(PackDisplayStatus(display_.Status()));
    if (status && ::PostMessageW(GetSafeHwnd(), kDisplayStatusMessage, *status, 0)) {
        statusPost_.Posted(*status);
    }
}

void DeviceMainDlg::OnShownOrHidden(const WINDOWPOS* change) {
    if (!change || (change->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) == 0) {
        return;
    }
    if (const std::optional<uint32_t> latest = statusPost_.SetShown((change->flags & SWP_SHOWWINDOW) != 0)) {
        OnDisplayStatus(*latest);
    }
}

void DeviceMainDlg::OnDisplayStatus(WPARAM packed) {
    if (!autostartRefused_) {
        SetStatusLine(FormatDisplayStatus(UnpackDisplayStatus(static_cast<uint32_t>(packed))));
    }
}

void DeviceMainDlg::SetStatusLine(std::wstring line) {
    if (line == statusLine_ || !statusText_) {
        return;
    }
    statusLine_ = std::move(line);
    static_cast<Tessel::MText*>(statusText_)->SetTitle(statusLine_.c_str());
}

std::wstring DeviceMainDlg::RegisterStartupTaskIfProtected() {
    // A logon task with the highest run level would run whatever an ordinary process put in the program's
    // place at every administrator's logon. This start goes on: whoever can change the files has already
    // chosen what runs now.
    const std::wstring unprotected = UnprotectedProgramPart(GetProgramFolder());
    if (unprotected.empty()) {
        RegisterStartupTaskInProgramLog();
        return unprotected;
    }
    LogEvent(L"Autostart task \"%ls\" not registered or refreshed: %ls", kStartupTaskName,
             unprotected.c_str());
    autostartRefused_ = true;
    SetStatusLine(kAutostartRefusedStatus);
    return unprotected;
}
