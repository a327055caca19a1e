// The dialog base under wine: creation style, InitUI and UISize, modal results of the close requests,
// Alt+F4, the balloon point, the caret timer, and that a dialog's life leaves no GDI objects or memory
// behind.

#include "TestDialog.h"
#include "Wait.h"

#include "controls/MControl.h"
#include "core/Manager.h"
#include "core/PaintManager.h"
#include "win/Handle.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <thread>

using Tessel::MControl;
using testing_support::DialogFixture;
using testing_support::TestDialog;
using testing_support::WaitUntil;
using testing_support::WhileWaiting;

namespace {

class DialogTest : public DialogFixture {};

TEST_F(DialogTest, CreationDropsCaptionAndFrameAndBuildsTheUiWithTheClientRectangle) {
    TestDialog dialog;
    HWND hwnd = dialog.CreateHidden(WS_POPUP | WS_CAPTION | WS_THICKFRAME);
    ASSERT_NE(hwnd, nullptr);
    DWORD style = dialog.GetStyle();
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0u);
    EXPECT_EQ(style & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
              static_cast<DWORD>(WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    ASSERT_EQ(dialog.initClients.size(), 1u);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(dialog.initClients[0], CRect(client));
    EXPECT_EQ(dialog.GetPaintManager().GetPaintWnd(), hwnd);

    size_t sizes = dialog.sizeClients.size();
    ::SetWindowPos(hwnd, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(dialog.sizeClients.size(), sizes + 1);
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(dialog.sizeClients.back(), CRect(client));
    ::DestroyWindow(hwnd);
}

TEST_F(DialogTest, CloseRequestsEndTheModalRunWithTheirResult) {
    struct Case {
        void (TestDialog::*request)();
        UINT result;
    };
    for (Case c : {Case{&TestDialog::DoYes, 6u}, Case{&TestDialog::DoClose, 2u}, Case{&TestDialog::DoOK, 1u},
                   Case{&TestDialog::DoNo, 7u}, Case{&TestDialog::DoCancel, 2u}}) {
        TestDialog dialog;
        HWND hwnd = dialog.CreateHidden();
        ASSERT_NE(hwnd, nullptr);
        (dialog.*c.request)();
        EXPECT_EQ(dialog.ShowModal(SW_HIDE), c.result);
        EXPECT_FALSE(::IsWindow(hwnd));
        EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    }
}

class RefusingDialog : public TestDialog {
  public:
    LRESULT OnUserCloseWindow(WPARAM wParam, LPARAM lParam) override {
        ++refused;
        if (refused < 2)
            return 1;
        return TestDialog::OnUserCloseWindow(wParam, lParam);
    }
    int refused = 0;
};

TEST_F(DialogTest, AnOverrideMayRefuseTheCloseRequest) {
    RefusingDialog dialog;
    ASSERT_NE(dialog.CreateHidden(), nullptr);
    dialog.DoYes();
    dialog.DoNo();
    EXPECT_EQ(dialog.ShowModal(SW_HIDE), 7u);
    EXPECT_EQ(dialog.refused, 2);
}

TEST_F(DialogTest, DoOkBeforeTheWindowExistsPostsNothing) {
    MSG stale;
    while (::PeekMessageW(&stale, nullptr, 0, 0, PM_REMOVE)) {
    }
    TestDialog dialog;
    dialog.DoOK();
    dialog.DoYes();
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(dialog.ShowModal(SW_HIDE), 0xFFFFFFFFu);
}

TEST_F(DialogTest, AltF4EndsTheModalRunWithZero) {
    TestDialog dialog;
    HWND hwnd = dialog.CreateHidden(WS_POPUP, CRect(50, 50, 250, 200));
    ASSERT_NE(hwnd, nullptr);
    // Keys are injected once the dialog is in front; a time-out closes it another way and fails the test.
    std::thread injector([hwnd] {
        WaitUntil([hwnd] {
            ::SetForegroundWindow(hwnd);
            return ::GetForegroundWindow() == hwnd;
        });
        std::vector<INPUT> keys(4);
        WORD order[4] = {VK_MENU, VK_F4, VK_F4, VK_MENU};
        for (int i = 0; i < 4; ++i) {
            keys[i].type = INPUT_KEYBOARD;
            keys[i].ki.wVk = order[i];
            keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
        }
        ::SendInput(4, keys.data(), sizeof(INPUT));
        if (!WaitUntil([hwnd] { return !::IsWindow(hwnd); }))
            ::PostMessageW(hwnd, WM_CLOSE, 99, 0);
    });
    UINT result = dialog.ShowModal(SW_SHOW);
    injector.join();
    EXPECT_EQ(result, 0u);
}

TEST_F(DialogTest, BalloonPointLiesOnTheControlsBottomEdgeInScreenCoordinates) {
    TestDialog dialog;
    HWND hwnd = dialog.CreateHidden();
    ASSERT_NE(hwnd, nullptr);
    MControl* control = dialog.CreateControl(L"MPicture", 3, CRect(10, 20, 110, 50), nullptr, 1, 1);
    ASSERT_NE(control, nullptr);
    POINT expected{60, 50};
    ::ClientToScreen(hwnd, &expected);
    POINT centre = dialog.GetAirBladderPoint(control, 1);
    EXPECT_EQ(CPoint(centre), CPoint(expected));
    POINT left = dialog.GetAirBladderPoint(control, 0);
    POINT right = dialog.GetAirBladderPoint(control, 2);
    EXPECT_EQ(left.x, expected.x - 50);
    EXPECT_EQ(right.x, expected.x + 50);
    EXPECT_EQ(left.y, expected.y);
    POINT none = dialog.GetAirBladderPoint(nullptr, 1);
    EXPECT_EQ(CPoint(none), CPoint(0, 0));

    EXPECT_FALSE(dialog.SetAirBladderMsg(L"tip", POINT{0, 300}, Tessel::AIRBLADDER_TOP));
    EXPECT_EQ(dialog.GetPaintManager().GetAirBladder(), nullptr);
    ::DestroyWindow(hwnd);
}

TEST_F(DialogTest, BalloonShowsAsAPopupOfTheDialogAndOnlyItsOwnerHidesIt) {
    TestDialog dialog;
    HWND hwnd = dialog.CreateHidden();
    ASSERT_NE(hwnd, nullptr);
    auto& engine = dialog.GetPaintManager();
    EXPECT_FALSE(engine.ShowAirBladder(TRUE, 5));
    ASSERT_TRUE(dialog.SetAirBladderMsg(L"Check the cable", POINT{300, 200}, Tessel::AIRBLADDER_TOP));
    Tessel::MAirBladder* balloon = engine.GetAirBladder();
    ASSERT_NE(balloon, nullptr);
    HWND popup = balloon->GetSafeHwnd();
    EXPECT_EQ(::GetWindow(popup, GW_OWNER), hwnd);
    EXPECT_NE(balloon->GetStyle() & WS_POPUP, 0u);
    EXPECT_TRUE(::IsWindowVisible(popup));
    EXPECT_STREQ(balloon->GetText().GetString(), L"Check the cable");
    // The arrow of a top balloon touches the point from the middle of its top edge.
    RECT placed{};
    ::GetWindowRect(popup, &placed);
    EXPECT_EQ(placed.top, 200);
    EXPECT_NEAR((placed.left + placed.right) / 2, 300, 1);

    EXPECT_TRUE(engine.ShowAirBladder(TRUE, 5));
    EXPECT_FALSE(engine.ShowAirBladder(FALSE, 6));
    EXPECT_TRUE(::IsWindowVisible(popup));
    EXPECT_TRUE(engine.ShowAirBladder(FALSE, 5));
    EXPECT_FALSE(::IsWindowVisible(popup));
    ::DestroyWindow(hwnd);
    // The balloon went with its owner.
    EXPECT_FALSE(::IsWindow(popup));
}

TEST_F(DialogTest, UnknownClassNamesCreateNothing) {
    TestDialog dialog;
    ASSERT_NE(dialog.CreateHidden(), nullptr);
    EXPECT_EQ(dialog.CreateControl(L"mbutton", 1, CRect(0, 0, 10, 10), L"", 1, 1), nullptr);
    EXPECT_EQ(dialog.CreateArea(L"NoSuchControl", 2, CRect(0, 0, 10, 10), L"", 1, 1), nullptr);
    EXPECT_TRUE(dialog.GetControls()->empty());
    EXPECT_NE(dialog.CreateControl(L"MButton", 3, CRect(0, 0, 10, 10), L"", 1, 1), nullptr);
    EXPECT_EQ(dialog.GetControls()->size(), 1u);
    dialog.DestroyWindow();
}

TEST_F(DialogTest, TheCaretBlinkTimerReachesTheDialogsOnTimer) {
    TestDialog dialog;
    HWND hwnd = dialog.CreateHidden();
    ASSERT_NE(hwnd, nullptr);
    dialog.GetPaintManager().ShowCaret(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return !dialog.timerIds.empty(); }, testing_support::kGiveUpMs,
                          WhileWaiting::PumpMessages));
    EXPECT_EQ(dialog.timerIds[0], 6553u);
    dialog.GetPaintManager().ShowCaret(FALSE);
    EXPECT_FALSE(::KillTimer(hwnd, 6553));
    ::DestroyWindow(hwnd);
}

// One dialog's whole life: window, controls, images from the library, the library's font, timers.
void DialogLife() {
    TestDialog dialog;
    HWND hwnd = dialog.CreateHidden();
    ASSERT_NE(hwnd, nullptr);
    auto& engine = dialog.GetPaintManager();
    for (UINT id = 1; id <= 4; ++id)
        ASSERT_NE(dialog.CreateControl(L"MButton", id, CRect(10, 10 * id, 90, 10 * id + 8), L"b", 1, 1),
                  nullptr);
    dialog.CreateArea(L"CArea", 9, CRect(0, 0, 300, 200), nullptr, 1, 1);
    ASSERT_NE(engine.AddImgResInfo(101, L"PNG", 1, FALSE), nullptr);
    ASSERT_NE(engine.AddImgResInfo(102, L"PNG", 1, FALSE), nullptr);
    engine.FindTempFont(L"DejaVu Sans");
    ASSERT_TRUE(engine.SetTimer(engine.GetControl(1), 1, 100000));
    dialog.SetTooltip(L"tip", CRect(0, 0, 10, 10));
    dialog.DoCancel();
    EXPECT_EQ(dialog.ShowModal(SW_HIDE), 2u);
    EXPECT_TRUE(engine.GetControls()->empty());
}

// Private bytes where the system counts them; wine leaves PrivateUsage at 0 and counts PagefileUsage.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters));
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// What registering and removing the library's font costs on its own: every dialog does it once.
void FontRegistration() {
    HRSRC res = ::FindResourceW(g_hLibModule, MAKEINTRESOURCEW(106), L"ttf");
    ASSERT_NE(res, nullptr);
    HGLOBAL data = ::LoadResource(g_hLibModule, res);
    DWORD fonts = 0;
    UniqueFontRegistration font(
        ::AddFontMemResourceEx(::LockResource(data), ::SizeofResource(g_hLibModule, res), nullptr, &fonts));
    ASSERT_TRUE(font);
    font.reset();
    // Controls whose face the system lacks draw with the library's font, loaded into GDI+ once per dialog.
    Gdiplus::PrivateFontCollection collection;
    ASSERT_EQ(
        collection.AddMemoryFont(::LockResource(data), static_cast<INT>(::SizeofResource(g_hLibModule, res))),
        Gdiplus::Ok);
}

TEST_F(DialogTest, TwoHundredDialogLivesLeaveGdiObjectsAndMemoryFlat) {
    constexpr int kLives = 200;
    // Warm-up: first uses load classes, fonts and GDI+ codecs once for the process.
    for (int i = 0; i < 20; ++i)
        DialogLife();
    SIZE_T baselineBefore = PrivateBytes();
    for (int i = 0; i < kLives; ++i)
        FontRegistration();
    size_t baseline = PrivateBytes() - std::min(PrivateBytes(), baselineBefore);

    DWORD gdiBefore = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD userBefore = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    SIZE_T bytesBefore = PrivateBytes();
    for (int i = 0; i < kLives; ++i)
        DialogLife();
    DWORD gdiAfter = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD userAfter = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    SIZE_T bytesAfter = PrivateBytes();
    size_t growth = bytesAfter - std::min(bytesAfter, bytesBefore);
    std::printf(
        "GDI objects %lu -> %lu, USER objects %lu -> %lu, private bytes +%zu over %d lives, "
        "font registration alone +%zu\n",
        gdiBefore, gdiAfter, userBefore, userAfter, growth, kLives, baseline);
    EXPECT_LE(gdiAfter, gdiBefore + 2);
    EXPECT_LE(userAfter, userBefore + 2);
    // Wine keeps the memory of every font registration it ever made, which no library can avoid; beyond
    // that, a leaked control, image or timer per life would add up over 200 lives.
    EXPECT_LT(growth, baseline + 512 * 1024);
}

}  // namespace
