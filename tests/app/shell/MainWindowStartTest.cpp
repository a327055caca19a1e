// The main window's start and its update offers, run in this process: what it queues for the worker, how the
// panel is created, and what an update result (kUpdateResultMessage) asks and queues. The worker's step here
// only takes the commands, so no display, network or download is involved.

#include "shell/DeviceMainDlg.h"

#include "display/CommandQueue.h"
#include "sensors/SensorServer.h"

#include "core/Manager.h"
#include "win/ScopeGuards.h"

#include "TestSupport.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <ole2.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using testing_support::WaitUntil;

namespace {

// The main window with a step that records the commands it takes, and the panel's state right after its
// initialisation.
class RecordingMainDlg : public DeviceMainDlg {
  public:
    ~RecordingMainDlg() override {
        // The worker calls Step on this object: it must be gone before the recording is.
        StopAndJoin();
    }
    BOOL OnInitDialog() override {
        const BOOL result = DeviceMainDlg::OnInitDialog();
        ::GetWindowRect(GetSafeHwnd(), &rectAtStart);
        styleAtStart = static_cast<DWORD>(::GetWindowLongW(GetSafeHwnd(), GWL_STYLE));
        exStyleAtStart = static_cast<DWORD>(::GetWindowLongW(GetSafeHwnd(), GWL_EXSTYLE));
        return result;
    }
    std::vector<WorkerCommand> Taken() {
        std::lock_guard lock(mutex_);
        return taken_;
    }
    // A message of the test's own, counted when the panel handles it.
    static constexpr UINT kMarkerMessage = WM_APP + 1;
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kMarkerMessage) {
            ++markers;
            return 0;
        }
        return DeviceMainDlg::OnWindowMessage(msg, wParam, lParam);
    }
    std::atomic<int> markers{0};

    RECT rectAtStart{};
    DWORD styleAtStart = 0;
    DWORD exStyleAtStart = 0;

  protected:
    void Step() noexcept override {
        if (const std::optional<WorkerCommand> command = Commands().Pop()) {
            std::lock_guard lock(mutex_);
            taken_.push_back(*command);
        }
    }

  private:
    std::mutex mutex_;
    std::vector<WorkerCommand> taken_;
};

// A result the program does not send (1 to 4 are taken): it must be ignored.
constexpr WPARAM kUnknownUpdateResult = 9;

HWND VisibleBox() {
    HWND box = ::FindWindowW(nullptr, L"MessageBox");
    return box && ::IsWindowVisible(box) ? box : nullptr;
}

void Click(HWND window, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    ::SendMessageW(window, WM_MOUSEMOVE, 0, at);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(window, WM_LBUTTONUP, 0, at);
}

// Posts the update result, answers the box that it shows with YES and waits until it is gone (hiding a window
// costs wine 2 s without a window manager). False if no box came or it did not go.
bool AnswerYes(HWND panel, WPARAM kind) {
    ::PostMessageW(panel, kUpdateResultMessage, kind, 1);
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = VisibleBox()) != nullptr; })) {
        return false;
    }
    Click(box, 120, 175);
    return WaitUntil([&] { return !::IsWindow(box); });
}

// Waits until the panel has handled everything posted to it so far (a marker posted after it). A box or menu
// that one of those messages brought up is on screen by then: the panel handles later messages inside it.
bool HandledSoFar(RecordingMainDlg& panel) {
    const int before = panel.markers;
    ::PostMessageW(panel.GetSafeHwnd(), RecordingMainDlg::kMarkerMessage, 0, 0);
    return WaitUntil([&] { return panel.markers > before; });
}

class MainWindowStart : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Tessel::Manager::SetInstance(::GetModuleHandleW(nullptr));
        Tessel::Manager::InitGdiplus();
        ole_.emplace();
    }
    static void TearDownTestSuite() { ole_.reset(); }
    static inline std::optional<OleSession> ole_;
};

TEST_F(MainWindowStart,
       QueuesTheStartChecksAroundARescanShowsTheTopmostToolPanelAndQueuesTheAcceptedUpdates) {
    RecordingMainDlg panel;
    struct Seen {
        std::vector<WorkerCommand> atStart;
        bool softwareYes = false, firmwareYes = false, noBoxForOthers = false;
    } seen;
    std::thread driver([&] {
        HWND hwnd = nullptr;
        if (WaitUntil([&] { return (hwnd = panel.GetSafeHwnd()) != nullptr && panel.Taken().size() >= 3; })) {
            seen.atStart = panel.Taken();
            seen.softwareYes =
                AnswerYes(hwnd, kUpdateSoftware) && WaitUntil([&] { return panel.Taken().size() == 4; });
            seen.firmwareYes =
                AnswerYes(hwnd, kUpdateFirmware) && WaitUntil([&] { return panel.Taken().size() == 5; });
            // No newer version, or a kind the program does not know: no question.
            ::PostMessageW(hwnd, kUpdateResultMessage, kUpdateSoftware, 0);
            ::PostMessageW(hwnd, kUpdateResultMessage, kUnknownUpdateResult, 1);
            seen.noBoxForOthers = HandledSoFar(panel) && VisibleBox() == nullptr;
        }
        if (HWND box = VisibleBox()) {
            ::PostMessageW(box, WM_CLOSE, 0, 0);
            WaitUntil([&] { return !::IsWindow(box); });
        }
        ::PostMessageW(panel.GetSafeHwnd(), WM_CLOSE, 0, 0);
    });
    panel.Run();
    driver.join();
    StopSensorServer();

    EXPECT_EQ(seen.atStart, (std::vector<WorkerCommand>{WorkerCommand::kSoftwareCheck, WorkerCommand::kRescan,
                                                        WorkerCommand::kFirmwareCheck}));
    EXPECT_TRUE(seen.softwareYes);
    EXPECT_TRUE(seen.firmwareYes);
    EXPECT_TRUE(seen.noBoxForOthers);
    EXPECT_EQ(panel.Taken(),
              (std::vector<WorkerCommand>{WorkerCommand::kSoftwareCheck, WorkerCommand::kRescan,
                                          WorkerCommand::kFirmwareCheck, WorkerCommand::kSoftwareDownload,
                                          WorkerCommand::kFirmwareDownload}));

    // 396 x 289 with a 2-pixel margin to the work area's bottom-right corner, borderless, topmost, and a tool
    // window (no task-bar button).
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(panel.rectAtStart.right, work.right - 2);
    EXPECT_EQ(panel.rectAtStart.bottom, work.bottom - 2);
    EXPECT_EQ(panel.rectAtStart.right - panel.rectAtStart.left, 396);
    EXPECT_EQ(panel.rectAtStart.bottom - panel.rectAtStart.top, 289);
    const DWORD style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    EXPECT_EQ(panel.styleAtStart & style, style);
    EXPECT_EQ(panel.styleAtStart & (WS_CAPTION | WS_THICKFRAME), 0u);
    EXPECT_NE(panel.exStyleAtStart & WS_EX_TOPMOST, 0u);
    EXPECT_NE(panel.exStyleAtStart & WS_EX_TOOLWINDOW, 0u);
}

HWND VisibleMenu() {
    HWND menu = ::FindWindowW(L"#32768", nullptr);
    return menu && ::IsWindowVisible(menu) ? menu : nullptr;
}

// The tray callback message may come from any process: only the icon's own id makes it a click, and download
// progress travels on a message of its own, so no value of it (513 and 517 are the mouse messages the panel
// acts on) is taken for one.
TEST_F(MainWindowStart, TrayClicksCountOnlyWithTheIconsIdAndProgressIsNoClick) {
    RecordingMainDlg panel;
    struct Seen {
        bool menuForOthers = true, menuForTheIcon = false, menuGone = false;
        bool shownForOthers = true, shownForTheIcon = false;
    } seen;
    std::thread driver([&] {
        HWND hwnd = nullptr;
        if (WaitUntil([&] { return (hwnd = panel.GetSafeHwnd()) != nullptr && panel.Taken().size() >= 3; })) {
            ::PostMessageW(hwnd, kTrayCallbackMessage, 0, WM_RBUTTONUP);
            ::PostMessageW(hwnd, kTrayCallbackMessage, kTrayIconId + 1, WM_RBUTTONUP);
            ::PostMessageW(hwnd, kDownloadProgressMessage, 0, WM_RBUTTONUP);
            seen.menuForOthers = !HandledSoFar(panel) || VisibleMenu() != nullptr;
            ::PostMessageW(hwnd, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
            seen.menuForTheIcon = WaitUntil([] { return VisibleMenu() != nullptr; });
            ::PostMessageW(hwnd, WM_CANCELMODE, 0, 0);
            seen.menuGone = WaitUntil([] { return VisibleMenu() == nullptr; });

            ::ShowWindow(hwnd, SW_HIDE);
            ::PostMessageW(hwnd, kTrayCallbackMessage, 0, WM_LBUTTONDOWN);
            ::PostMessageW(hwnd, kDownloadProgressMessage, 0, WM_LBUTTONDOWN);
            seen.shownForOthers = !HandledSoFar(panel) || ::IsWindowVisible(hwnd) != FALSE;
            ::PostMessageW(hwnd, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONDOWN);
            seen.shownForTheIcon = WaitUntil([&] { return ::IsWindowVisible(hwnd) != FALSE; });
        }
        ::PostMessageW(panel.GetSafeHwnd(), WM_CLOSE, 0, 0);
    });
    panel.Run();
    driver.join();
    StopSensorServer();

    EXPECT_FALSE(seen.menuForOthers);
    EXPECT_TRUE(seen.menuForTheIcon);
    EXPECT_TRUE(seen.menuGone);
    EXPECT_FALSE(seen.shownForOthers);
    EXPECT_TRUE(seen.shownForTheIcon);
}

}  // namespace
