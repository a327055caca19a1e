// Native windows under wine + Xvfb: class registration, binding, the modal loop's results, placement and the
// null-safe wrappers.

#include "core/MWindow.h"
#include "core/Manager.h"
#include "win/Handle.h"

#include <gtest/gtest.h>

#include <vector>

using Tessel::MWindow;

namespace {

constexpr UINT kSendClose = WM_APP + 1;   // the window sends itself WM_CLOSE
constexpr UINT kProbeOwner = WM_APP + 2;  // records whether the owner is enabled
constexpr UINT_PTR kWatchdog = 77;        // ends a modal run that the test failed to end

// Records what reaches the object; can end itself in the ways a dialog does.
class ProbeWindow : public MWindow {
  public:
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(msg);
        if (msg == kSendClose) {
            return ::SendMessageW(m_hWnd, WM_CLOSE, 6, 0);
        }
        if (msg == kProbeOwner) {
            ownerEnabledDuringRun = ::IsWindowEnabled(reinterpret_cast<HWND>(wParam));
            return 0;
        }
        if (msg == WM_TIMER && wParam == kWatchdog) {
            ::PostMessageW(m_hWnd, WM_CLOSE, 999, 0);
            return 0;
        }
        return MWindow::OnWindowMessage(msg, wParam, lParam);
    }
    BOOL OnInitDialog() override {
        initHandle = m_hWnd;
        initAfterCreate = seen(WM_CREATE);
        return TRUE;
    }
    void OnDestroyMessage(HWND hwnd) override {
        destroyedHandle = hwnd;
        handleAtDestroy = m_hWnd;
    }
    bool seen(UINT msg) const {
        for (UINT m : messages) {
            if (m == msg)
                return true;
        }
        return false;
    }
    void ForceHandle(HWND h) { m_hWnd = h; }

    std::vector<UINT> messages;
    HWND initHandle = nullptr;
    bool initAfterCreate = false;
    HWND destroyedHandle = nullptr;
    HWND handleAtDestroy = reinterpret_cast<HWND>(1);
    BOOL ownerEnabledDuringRun = -1;
};

class EditWindow : public ProbeWindow {
  public:
    const wchar_t* GetWindowClassName() const override { return L"TesselTestEdit"; }
    const wchar_t* GetSuperClassName() const override { return L"Edit"; }
};

class MissingSuperWindow : public ProbeWindow {
  public:
    const wchar_t* GetWindowClassName() const override { return L"TesselTestNoSuper"; }
    const wchar_t* GetSuperClassName() const override { return L"NoSuchSystemClass"; }
};

class MWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { Tessel::Manager::SetInstance(::GetModuleHandleW(nullptr)); }
    void TearDown() override {
        // Nothing posted by one case may reach the next.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    static constexpr DWORD kPopup = WS_POPUP | WS_VISIBLE;
};

TEST_F(MWindowTest, CreateBindsTheObjectFromNcCreateAndRunsInitAfterwards) {
    ProbeWindow w;
    HWND h = w.Create(nullptr, L"probe", WS_POPUP, 0, CRect(10, 20, 110, 70));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(w.GetSafeHwnd(), h);
    EXPECT_EQ(w.messages.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_TRUE(w.initAfterCreate);
    EXPECT_EQ(w.initHandle, h);
    EXPECT_EQ(::GetWindowLongPtrW(h, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&w));
    wchar_t cls[64] = {};
    ::GetClassNameW(h, cls, 64);
    EXPECT_STREQ(cls, L"TesselWindow");
    RECT r{};
    ASSERT_TRUE(w.GetWindowRect(&r));
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 50);

    // A second Create gives the same window back and creates nothing.
    size_t before = w.messages.size();
    EXPECT_EQ(w.Create(nullptr, L"again", WS_POPUP, 0, CRect(0, 0, 10, 10)), h);
    EXPECT_EQ(w.messages.size(), before);

    // A second object of the same class registers again without failing.
    ProbeWindow other;
    HWND h2 = other.Create(nullptr);
    ASSERT_NE(h2, nullptr);
    EXPECT_NE(h2, h);
    EXPECT_TRUE(other.GetWindowRect(&r));
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 600);

    EXPECT_TRUE(w.DestroyWindow());
    EXPECT_EQ(w.destroyedHandle, h);
    EXPECT_EQ(w.handleAtDestroy, nullptr);
    EXPECT_EQ(w.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(other.DestroyWindow());

    // The object can be bound to a new window afterwards.
    HWND h3 = w.Create(nullptr, L"again", WS_POPUP, 0, CRect(0, 0, 10, 10));
    ASSERT_NE(h3, nullptr);
    EXPECT_EQ(w.GetSafeHwnd(), h3);
    EXPECT_TRUE(w.DestroyWindow());
}

TEST_F(MWindowTest, SuperclassOfASystemClassKeepsItsBehaviourAndBindsThroughTheControlProperty) {
    EditWindow e;
    HWND h = e.Create(nullptr, L"hello", WS_POPUP, 0, CRect(0, 0, 120, 24));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(::GetPropW(h, L"Control"), static_cast<HANDLE>(static_cast<MWindow*>(&e)));
    EXPECT_EQ(::GetWindowLongPtrW(h, GWLP_USERDATA), 0);
    // The edit's own procedure keeps and returns the text.
    e.SetWindowTextW(L"typed text");
    CString text;
    e.GetWindowTextW(text);
    EXPECT_EQ(text, L"typed text");
    EXPECT_EQ(e.GetWindowTextLengthW(), 10);
    EXPECT_EQ(::SendMessageW(h, EM_GETLIMITTEXT, 0, 0) > 0, true);
    EXPECT_TRUE(e.seen(WM_SETTEXT));
    EXPECT_TRUE(e.DestroyWindow());
    EXPECT_EQ(e.GetSafeHwnd(), nullptr);
    EXPECT_EQ(e.destroyedHandle, h);

    MissingSuperWindow missing;
    EXPECT_EQ(missing.Create(nullptr, L"x", WS_POPUP, 0, CRect(0, 0, 10, 10)), nullptr);
}

TEST_F(MWindowTest, ShowModalWithoutAWindowReturnsAllOnes) {
    ProbeWindow w;
    EXPECT_EQ(w.ShowModal(SW_SHOW), 0xFFFFFFFFu);
    w.ForceHandle(reinterpret_cast<HWND>(-1));
    EXPECT_EQ(w.ShowModal(SW_SHOW), 0xFFFFFFFFu);
}

TEST_F(MWindowTest, APostedCloseEndsTheModalRunWithItsWParamAndReenablesTheOwner) {
    ProbeWindow owner;
    HWND ownerHwnd = owner.Create(nullptr, L"owner", WS_POPUP, 0, CRect(0, 0, 200, 200));
    ASSERT_NE(ownerHwnd, nullptr);
    ProbeWindow dialog;
    ASSERT_NE(dialog.Create(ownerHwnd, L"dialog", WS_POPUP, 0, CRect(20, 20, 120, 120)), nullptr);
    dialog.SetTimer(kWatchdog, 10000, nullptr);
    dialog.PostMessageW(kProbeOwner, reinterpret_cast<WPARAM>(ownerHwnd), 0);
    dialog.PostMessageW(WM_CLOSE, 6, 0);

    EXPECT_EQ(dialog.ShowModal(SW_SHOW), 6u);
    EXPECT_EQ(dialog.ownerEnabledDuringRun, FALSE);
    EXPECT_TRUE(::IsWindowEnabled(ownerHwnd));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(owner.DestroyWindow());
}

TEST_F(MWindowTest, ASentCloseEndsTheModalRunWithZero) {
    ProbeWindow owner;
    HWND ownerHwnd = owner.Create(nullptr, L"owner", WS_POPUP, 0, CRect(0, 0, 200, 200));
    ProbeWindow dialog;
    ASSERT_NE(dialog.Create(ownerHwnd, L"dialog", WS_POPUP, 0, CRect(20, 20, 120, 120)), nullptr);
    dialog.SetTimer(kWatchdog, 10000, nullptr);
    dialog.PostMessageW(kSendClose, 0, 0);

    EXPECT_EQ(dialog.ShowModal(SW_SHOW), 0u);
    EXPECT_TRUE(::IsWindowEnabled(ownerHwnd));
    EXPECT_TRUE(owner.DestroyWindow());
}

TEST_F(MWindowTest, AQuitDuringTheModalRunEndsItAndIsPostedAgain) {
    ProbeWindow dialog;
    ASSERT_NE(dialog.Create(nullptr, L"dialog", WS_POPUP, 0, CRect(0, 0, 100, 100)), nullptr);
    ::PostQuitMessage(42);

    EXPECT_EQ(dialog.ShowModal(SW_SHOW), 0u);
    EXPECT_TRUE(::IsWindow(dialog.GetSafeHwnd()));
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 42u);
    EXPECT_TRUE(dialog.DestroyWindow());
}

TEST_F(MWindowTest, CenterWindowCentresInTheWorkAreaAndKeepsAWideWindowOnIt) {
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi));
    const RECT work = mi.rcWork;

    ProbeWindow compact;
    ASSERT_NE(compact.Create(nullptr, L"small", WS_POPUP, 0, CRect(0, 0, 101, 51)), nullptr);
    compact.CenterWindow(nullptr);
    RECT r{};
    ASSERT_TRUE(compact.GetWindowRect(&r));
    EXPECT_EQ(r.left, (work.left + work.right) / 2 - 101 / 2);
    EXPECT_EQ(r.top, (work.top + work.bottom) / 2 - 51 / 2);

    // Centred over a visible owner when one is given.
    ProbeWindow owner;
    ASSERT_NE(owner.Create(nullptr, L"owner", kPopup, 0, CRect(100, 100, 300, 260)), nullptr);
    compact.CenterWindow(&owner);
    ASSERT_TRUE(compact.GetWindowRect(&r));
    EXPECT_EQ(r.left, 200 - 50);
    EXPECT_EQ(r.top, 180 - 25);

    ProbeWindow wide;
    const int width = (work.right - work.left) + 300;
    ASSERT_NE(wide.Create(nullptr, L"wide", WS_POPUP, 0, CRect(0, 0, width, 100)), nullptr);
    wide.CenterWindow(nullptr);
    ASSERT_TRUE(wide.GetWindowRect(&r));
    EXPECT_EQ(r.left, work.left);
    EXPECT_EQ(r.right - r.left, width);

    EXPECT_TRUE(compact.DestroyWindow());
    EXPECT_TRUE(owner.DestroyWindow());
    EXPECT_TRUE(wide.DestroyWindow());
}

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) {
        return -1;
    }
    const UniqueBitmap color(info.hbmColor);
    const UniqueBitmap mask(info.hbmMask);
    BITMAP bm{};
    ::GetObjectW(color ? color.get() : mask.get(), sizeof(bm), &bm);
    return bm.bmWidth;
}

TEST_F(MWindowTest, SetIconGivesBothSizesAndBringToTopRestoresAMinimisedWindow) {
    ProbeWindow w;
    HWND h = w.Create(nullptr, L"icon", kPopup | WS_CAPTION | WS_SYSMENU, 0, CRect(0, 0, 120, 80));
    ASSERT_NE(h, nullptr);
    w.SetIcon(107);
    auto big = reinterpret_cast<HICON>(::SendMessageW(h, WM_GETICON, ICON_BIG, 0));
    auto smallIcon = reinterpret_cast<HICON>(::SendMessageW(h, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(smallIcon, nullptr);
    EXPECT_EQ(IconWidth(big), ::GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconWidth(smallIcon), ::GetSystemMetrics(SM_CXSMICON));

    w.ShowWindow(SW_MINIMIZE);
    ASSERT_TRUE(w.IsIconic());
    w.BringToTop();
    EXPECT_FALSE(w.IsIconic());
    EXPECT_TRUE(w.IsWindowVisible());
    EXPECT_TRUE(w.DestroyWindow());
}

TEST_F(MWindowTest, ModifyStyleChangesOnlyWhenTheStyleDiffers) {
    ProbeWindow w;
    ASSERT_NE(w.Create(nullptr, L"styled", WS_POPUP, 0, CRect(0, 0, 50, 50)), nullptr);
    EXPECT_FALSE(w.ModifyStyle(0, WS_POPUP, 0));
    EXPECT_TRUE(w.ModifyStyle(0, WS_BORDER, SWP_FRAMECHANGED));
    EXPECT_TRUE(w.GetStyle() & WS_BORDER);
    EXPECT_TRUE(w.ModifyStyle(WS_BORDER, 0, 0));
    EXPECT_FALSE(w.GetStyle() & WS_BORDER);
    EXPECT_TRUE(w.ModifyExStyle(0, WS_EX_TOOLWINDOW, 0));
    EXPECT_TRUE(w.GetExStyle() & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(w.ModifyExStyle(0, WS_EX_TOOLWINDOW, 0));
    EXPECT_TRUE(w.DestroyWindow());
    EXPECT_FALSE(w.ModifyStyle(0, WS_BORDER, 0));
}

TEST_F(MWindowTest, WrappersWithoutAWindowDoNothingAndReturnTheirNeutralValues) {
    ProbeWindow none;
    for (HWND h : {static_cast<HWND>(nullptr), reinterpret_cast<HWND>(-1)}) {
        none.ForceHandle(h);
        EXPECT_EQ(none.GetStyle(), 0u);
        EXPECT_EQ(none.GetExStyle(), 0u);
        EXPECT_EQ(none.SendMessageW(WM_USER, 1, 2), 0);
        EXPECT_EQ(none.PostMessageW(WM_USER, 1, 2), 0);
        RECT r{1, 2, 3, 4};
        EXPECT_FALSE(none.GetClientRect(&r));
        EXPECT_FALSE(none.GetWindowRect(&r));
        EXPECT_EQ(r.left, 1);
        EXPECT_EQ(r.bottom, 4);
        CString text(L"kept");
        none.GetWindowTextW(text);
        EXPECT_EQ(text, L"kept");
        EXPECT_EQ(none.GetWindowTextLengthW(), -1);
        EXPECT_FALSE(none.EnableWindow(TRUE));
        EXPECT_FALSE(none.IsWindowEnabled());
        EXPECT_FALSE(none.IsWindowVisible());
        EXPECT_FALSE(none.IsIconic());
        EXPECT_EQ(none.SetCapture(), nullptr);
        EXPECT_EQ(none.SetFocus(), nullptr);
        EXPECT_FALSE(none.ReleaseCapture());
        EXPECT_EQ(none.SetTimer(1, 10, nullptr), 0u);
        EXPECT_FALSE(none.KillTimer(1));
        POINT p{5, 6};
        EXPECT_FALSE(none.ClientToScreen(&p));
        EXPECT_FALSE(none.ScreenToClient(&p));
        EXPECT_FALSE(none.ClientToScreen(&r));
        EXPECT_FALSE(none.ScreenToClient(&r));
        EXPECT_EQ(p.x, 5);
        EXPECT_FALSE(none.SetWindowPos(nullptr, 0, 0, 1, 1, 0));
        EXPECT_FALSE(none.MoveWindow(0, 0, 1, 1, FALSE));
        EXPECT_FALSE(none.MoveWindow(&r, FALSE));
        EXPECT_FALSE(none.DestroyWindow());
        EXPECT_FALSE(none.ShowWindow(SW_SHOW));
        EXPECT_FALSE(none.ModifyExStyle(0, WS_EX_TOOLWINDOW, 0));
        none.SetWindowTextW(L"x");
        none.InvalidateRect(CRect(0, 0, 1, 1), FALSE);
        none.CenterWindow(nullptr);
        none.BringToTop();
        none.SetIcon(1);
        EXPECT_EQ(none.GetSafeHwnd(), h);
    }
}

TEST_F(MWindowTest, CoordinateWrappersConvertBothCornersOfALiveWindow) {
    ProbeWindow w;
    ASSERT_NE(w.Create(nullptr, L"coords", kPopup, 0, CRect(40, 30, 140, 130)), nullptr);
    RECT r{1, 2, 11, 12};
    ASSERT_TRUE(w.ClientToScreen(&r));
    EXPECT_EQ(r.left, 41);
    EXPECT_EQ(r.top, 32);
    EXPECT_EQ(r.right, 51);
    EXPECT_EQ(r.bottom, 42);
    ASSERT_TRUE(w.ScreenToClient(&r));
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.bottom, 12);
    EXPECT_TRUE(w.IsWindowVisible());
    EXPECT_EQ(w.SetTimer(5, 1000, nullptr), 5u);
    EXPECT_TRUE(w.KillTimer(5));
    EXPECT_TRUE(w.DestroyWindow());
}

}  // namespace
