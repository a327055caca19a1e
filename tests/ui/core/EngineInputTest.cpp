// The engine's input side through real window messages: hover, press, click, capture, window drag, Tab order,
// wheel notches, control timers, the master timer, deactivation and dropped data.

#include "ProbeControl.h"
#include "TestDialog.h"
#include "Wait.h"

#include "controls/MButton.h"
#include "core/MMediaTimer.h"
#include "core/Manager.h"
#include "core/PaintManager.h"
#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

using Tessel::MButton;
using Tessel::MControl;
using Tessel::PaintManager;
using testing_support::DialogFixture;
using testing_support::Probe;
using testing_support::SendMouse;
using testing_support::TestDialog;
using testing_support::WaitUntil;
using testing_support::WhileWaiting;

namespace {

class EngineInputTest : public DialogFixture {
  protected:
    void SetUp() override {
        hwnd = dialog.CreateHidden();
        ASSERT_NE(hwnd, nullptr);
        engine().SetPaintPacing(0);
    }
    void TearDown() override {
        if (::IsWindow(hwnd))
            ::DestroyWindow(hwnd);
    }
    PaintManager& engine() { return dialog.GetPaintManager(); }
    // A probe in the engine's controls list; the engine owns it.
    Probe* AddProbe(UINT id, CRect rect) {
        auto* probe = new Probe(&dialog, id, rect);
        probe->SetManager(&engine());
        engine().GetControls()->push_back(probe);
        return probe;
    }
    void PressTab(bool shift, bool ctrl, BOOL& consumed) {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        keys[VK_MENU] = 0;
        ::SetKeyboardState(keys);
        MSG msg{hwnd, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
        consumed = dialog.PreTranslateMessage(&msg);
        keys[VK_SHIFT] = 0;
        keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
    }
    TestDialog dialog;
    HWND hwnd = nullptr;
};

TEST_F(EngineInputTest, ButtonGoesHoverPressedAndClicksOnceOnReleaseInside) {
    auto* button =
        static_cast<MButton*>(dialog.CreateControl(L"MButton", 7, CRect(20, 20, 120, 50), L"OK", 1, 1));
    ASSERT_NE(button, nullptr);
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 30, 30);
    EXPECT_EQ(engine().GetHoverControl(), button);
    EXPECT_EQ(button->GetState(), MButton::StateHover);

    SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 30, 30);
    EXPECT_EQ(button->GetState(), MButton::StatePressed);
    EXPECT_TRUE(engine().IsCaptured());
    EXPECT_EQ(dialog.Count(2), 0);

    SendMouse(hwnd, WM_LBUTTONUP, 0, 31, 31);
    EXPECT_EQ(dialog.Count(2), 1);
    EXPECT_EQ(button->GetState(), MButton::StateHover);
    EXPECT_FALSE(engine().IsCaptured());
    EXPECT_EQ(engine().GetHoverControl(), button);
    EXPECT_TRUE(dialog.moveRequests.empty());
}

TEST_F(EngineInputTest, ReleaseOutsideTheButtonGivesNoClickAndDropsTheHover) {
    auto* button =
        static_cast<MButton*>(dialog.CreateControl(L"MButton", 7, CRect(20, 20, 120, 50), L"OK", 1, 1));
    ASSERT_NE(button, nullptr);
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 30, 30);
    SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 30, 30);
    // Dragged out with the button held: the pressed button keeps the mouse.
    SendMouse(hwnd, WM_MOUSEMOVE, MK_LBUTTON, 200, 150);
    EXPECT_EQ(engine().GetHoverControl(), button);
    SendMouse(hwnd, WM_LBUTTONUP, 0, 200, 150);
    EXPECT_EQ(dialog.Count(2), 0);
    EXPECT_EQ(engine().GetHoverControl(), nullptr);
    EXPECT_EQ(button->GetState(), MButton::StateNormal);
}

TEST_F(EngineInputTest, PressOnEmptySpaceAsksTheSystemToMoveTheWindowUnlessDragIsOff) {
    dialog.CreateControl(L"MButton", 7, CRect(20, 20, 120, 50), L"OK", 1, 1);
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 200, 150);
    SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 200, 150);
    ASSERT_EQ(dialog.moveRequests.size(), 1u);
    POINT screen{200, 150};
    ::ClientToScreen(hwnd, &screen);
    EXPECT_EQ(dialog.moveRequests[0], CPoint(screen));
    SendMouse(hwnd, WM_LBUTTONUP, 0, 200, 150);

    dialog.EnableWndDrag(FALSE);
    SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 200, 150);
    EXPECT_EQ(dialog.moveRequests.size(), 1u);
    // A press on the button never moves the window.
    dialog.EnableWndDrag(TRUE);
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 30, 30);
    SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 30, 30);
    EXPECT_EQ(dialog.moveRequests.size(), 1u);
}

TEST_F(EngineInputTest, DeactivationReleasesThePressedControl) {
    auto* button =
        static_cast<MButton*>(dialog.CreateControl(L"MButton", 7, CRect(20, 20, 120, 50), L"OK", 1, 1));
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 30, 30);
    SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 30, 30);
    ::SendMessageW(hwnd, WM_NCACTIVATE, FALSE, 0);
    EXPECT_EQ(engine().GetHoverControl(), nullptr);
    EXPECT_EQ(button->GetState(), MButton::StateNormal);
    EXPECT_EQ(dialog.Count(2), 0);
}

TEST_F(EngineInputTest, TabAndShiftTabWalkTheVisibleEnabledTabStopsAndWrap) {
    Probe* a = AddProbe(1, CRect(0, 0, 10, 10));
    Probe* hidden = AddProbe(2, CRect(0, 20, 10, 30));
    Probe* b = AddProbe(3, CRect(0, 40, 10, 50));
    Probe* noStop = AddProbe(4, CRect(0, 60, 10, 70));
    Probe* c = AddProbe(5, CRect(0, 80, 10, 90));
    for (Probe* p : {a, hidden, b, c})
        p->SetTabStop(1);
    hidden->SetVisible(0);
    (void)noStop;

    BOOL consumed = FALSE;
    std::vector<MControl*> forward;
    for (int i = 0; i < 4; ++i) {
        PressTab(false, false, consumed);
        EXPECT_TRUE(consumed);
        forward.push_back(engine().GetFocusControl());
    }
    EXPECT_EQ(forward, (std::vector<MControl*>{a, b, c, a}));
    EXPECT_EQ(a->focusLog.back(), 1);
    EXPECT_EQ(c->focusLog.back(), 0);

    std::vector<MControl*> backward;
    for (int i = 0; i < 3; ++i) {
        PressTab(true, false, consumed);
        EXPECT_TRUE(consumed);
        backward.push_back(engine().GetFocusControl());
    }
    EXPECT_EQ(backward, (std::vector<MControl*>{c, b, a}));

    PressTab(false, true, consumed);
    EXPECT_FALSE(consumed);
    EXPECT_EQ(engine().GetFocusControl(), a);
}

TEST_F(EngineInputTest, WheelGivesOneScrollPerWholeNotch) {
    // Two probes on one place: the later one holds the hover, the one beneath takes what the hover refuses.
    Probe* beneath = AddProbe(1, CRect(10, 10, 110, 110));
    Probe* hover = AddProbe(2, CRect(10, 10, 110, 110));
    beneath->takeScroll = 1;
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 50, 50);
    ASSERT_EQ(engine().GetHoverControl(), hover);
    POINT screen{50, 50};
    ::ClientToScreen(hwnd, &screen);
    struct Row {
        short delta;
        WORD keys;  // the key state of the message
        int hoverTakes;
        int steps;       // OnScroll calls the taker gets
        UINT direction;  // what they carry: 1 down (toward the user), 0 up
    };
    const Row rows[] = {
        {120, 0, 1, 1, 0},
        {60, 0, 1, 0, 0},  // less than a notch scrolls nothing
        {-240, 0, 1, 2, 1},
        // A control other than the hover control is given the direction too, not the key state.
        {-120, MK_SHIFT, 0, 1, 1},
    };
    for (const Row& row : rows) {
        hover->takeScroll = row.hoverTakes;
        hover->scrolls = beneath->scrolls = 0;
        ::SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(row.keys, row.delta), MAKELPARAM(screen.x, screen.y));
        Probe* taker = row.hoverTakes ? hover : beneath;
        EXPECT_EQ(hover->scrolls, row.steps) << row.delta;
        EXPECT_EQ(beneath->scrolls, row.hoverTakes ? 0 : row.steps) << row.delta;
        if (row.steps > 0) {
            EXPECT_EQ(taker->scrollFlags, row.direction) << row.delta;
        }
    }
    // Away from every control nothing scrolls.
    POINT away{300, 150};
    ::ClientToScreen(hwnd, &away);
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 300, 150);
    hover->scrolls = beneath->scrolls = 0;
    ::SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(away.x, away.y));
    EXPECT_EQ(hover->scrolls + beneath->scrolls, 0);
}

TEST_F(EngineInputTest, ControlTimersStartAt17AndReuseStoppedRecords) {
    Probe* first = AddProbe(1, CRect(0, 0, 10, 10));
    Probe* second = AddProbe(2, CRect(0, 20, 10, 30));
    ASSERT_TRUE(engine().SetTimer(first, 1, 100000));
    EXPECT_FALSE(engine().SetTimer(first, 1, 100000));
    ::SendMessageW(hwnd, WM_TIMER, 17, 0);
    EXPECT_EQ(first->ticks, 1);

    EXPECT_TRUE(engine().KillTimer(first, 1));
    EXPECT_FALSE(engine().KillTimer(first, 1));
    ::SendMessageW(hwnd, WM_TIMER, 17, 0);
    EXPECT_EQ(first->ticks, 1);

    ASSERT_TRUE(engine().SetTimer(second, 1, 100000));
    ::SendMessageW(hwnd, WM_TIMER, 18, 0);
    EXPECT_EQ(second->ticks, 1);

    // Restarted under its old window timer id, now with a short interval that really fires.
    ASSERT_TRUE(engine().SetTimer(first, 1, 10));
    ::SendMessageW(hwnd, WM_TIMER, 17, 0);
    EXPECT_EQ(first->ticks, 2);
    EXPECT_TRUE(
        WaitUntil([&] { return first->ticks >= 4; }, testing_support::kGiveUpMs, WhileWaiting::PumpMessages));
    EXPECT_EQ(second->ticks, 1);
}

TEST_F(EngineInputTest, TimerIdsCycleBelow240AndSkipTheEnginesOwn) {
    std::vector<Probe*> probes;
    for (UINT i = 0; i < 236; ++i) {
        probes.push_back(AddProbe(i + 1, CRect(0, 0, 1, 1)));
        ASSERT_TRUE(engine().SetTimer(probes.back(), 5, 100000)) << i;
    }
    // Every id of 0..239 but 0, 66, 88 and 99 is held now.
    Probe* extra = AddProbe(999, CRect(0, 0, 1, 1));
    EXPECT_FALSE(engine().SetTimer(extra, 5, 100000));
    ::SendMessageW(hwnd, WM_TIMER, 66, 0);
    ::SendMessageW(hwnd, WM_TIMER, 99, 0);
    for (Probe* p : probes)
        EXPECT_EQ(p->ticks, 0);
    engine().KillTimer(probes[0]);
    EXPECT_TRUE(engine().SetTimer(extra, 5, 100000));
    ::SendMessageW(hwnd, WM_TIMER, 17, 0);
    EXPECT_EQ(extra->ticks, 1);
}

TEST_F(EngineInputTest, ADeletedControlLeavesNoTimerBehind) {
    Probe* probe = AddProbe(1, CRect(0, 0, 10, 10));
    ASSERT_TRUE(engine().SetTimer(probe, 1, 100000));
    engine().RemoveControl(probe);
    // The system timer is gone with the record, and a stray tick reaches nobody.
    EXPECT_FALSE(::KillTimer(hwnd, 17));
    ::SendMessageW(hwnd, WM_TIMER, 17, 0);
    Probe* next = AddProbe(2, CRect(0, 0, 10, 10));
    ASSERT_TRUE(engine().SetTimer(next, 1, 100000));
    ::SendMessageW(hwnd, WM_TIMER, 18, 0);
    EXPECT_EQ(next->ticks, 1);
}

class CountingProbe : public Probe {
  public:
    using Probe::Probe;
    std::atomic<int> mticks{0};

  protected:
    int OnControlTimer() override {
        ++mticks;
        return 0;
    }
};

// A multimedia timer of its own beside the engine's, counting its ticks.
class TickCounter : public Tessel::MMediaTimer {
  public:
    using MMediaTimer::OnMTimer;
    std::atomic<int> ticks{0};
    void OnMTimer(UINT) override { ++ticks; }
};

TEST_F(EngineInputTest, MasterTimerTicksItsControlsUntilStopped) {
    auto* probe = new CountingProbe(&dialog, 1, CRect(0, 0, 10, 10));
    probe->SetManager(&engine());
    engine().GetControls()->push_back(probe);
    engine().AddMTimer(probe);
    dialog.SetMTimer(5);
    ASSERT_NE(engine().GetMTimerID(), 0u);
    EXPECT_EQ(Tessel::MMediaTimer::GetTimerOwner(engine().GetMTimerID()), &engine());
    EXPECT_TRUE(WaitUntil([&] { return probe->mticks >= 3; })) << probe->mticks.load() << " ticks";
    UINT id = engine().GetMTimerID();
    dialog.KillMTimer(id);
    EXPECT_EQ(Tessel::MMediaTimer::GetTimerOwner(id), nullptr);
    // A timer of the same period started afterwards ticks a few times, the stopped one not once meanwhile.
    const int stopped = probe->mticks;
    TickCounter witness;
    ASSERT_NE(witness.SetTimer(5, CString()), 0u);
    EXPECT_TRUE(WaitUntil([&] { return witness.ticks >= 3; })) << witness.ticks.load() << " ticks";
    EXPECT_EQ(probe->mticks.load(), stopped);
    EXPECT_TRUE(engine().DeleteMTimer(probe));
    EXPECT_FALSE(engine().DeleteMTimer(probe));
}

// The raised system timer resolution is held while any timer of the process runs and given back with the
// last.
TEST_F(EngineInputTest, TimerPeriodEndsWithTheLastTimer) {
    {
        TickCounter first;
        TickCounter second;
        ASSERT_NE(first.SetTimer(5, CString()), 0u);
        ASSERT_NE(second.SetTimer(5, CString()), 0u);
        EXPECT_TRUE(Tessel::MMediaTimer::m_bIsTmierOK);
        first.KillTimer();
        EXPECT_TRUE(Tessel::MMediaTimer::m_bIsTmierOK);
    }
    EXPECT_FALSE(Tessel::MMediaTimer::m_bIsTmierOK);
}

TEST_F(EngineInputTest, KeysGoToTheHoverControlAndOthersReachTheDefaultProcedure) {
    Probe* probe = AddProbe(1, CRect(10, 10, 110, 110));
    SendMouse(hwnd, WM_MOUSEMOVE, 0, 50, 50);
    probe->takeKey = 1;
    EXPECT_EQ(engine().OnWindowMessage(WM_KEYDOWN, 'A', 0), 1);
    EXPECT_EQ(probe->keys, 1);
    probe->takeKey = 0;
    EXPECT_EQ(engine().OnWindowMessage(WM_SYSKEYDOWN, VK_F4, 0), 0);
}

TEST_F(EngineInputTest, SizeLimitsReachTheMinMaxInfo) {
    engine().SetWindowMaxSize(800, 0);
    engine().SetWindowMixSize(200, 100);
    int cx = 0, cy = 0;
    engine().GetWindowManSize(cx, cy);
    EXPECT_EQ(cx, 800);
    EXPECT_EQ(cy, 0);
    engine().GetWindowMinSize(cx, cy);
    EXPECT_EQ(cx, 200);
    EXPECT_EQ(cy, 100);
    MINMAXINFO info{};
    info.ptMaxTrackSize = {5000, 5000};
    info.ptMaxSize = {4000, 4000};
    engine().OnWindowMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 200);
    EXPECT_EQ(info.ptMinTrackSize.y, 100);
    EXPECT_EQ(info.ptMaxTrackSize.x, 800);
    EXPECT_EQ(info.ptMaxSize.x, 800);
    EXPECT_EQ(info.ptMaxTrackSize.y, 5000);
}

TEST_F(EngineInputTest, DroppedBitmapArrivesAsAnImageAfterARelease) {
    STGMEDIUM medium{};
    medium.tymed = TYMED_GDI;
    medium.hBitmap = ::CreateCompatibleBitmap(WindowDC(nullptr).get(), 32, 16);
    FORMATETC format{CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_TRUE(engine().OnDrop(&format, medium, &effect));
    EXPECT_EQ(dialog.lbuttonUps, 1);
    ASSERT_EQ(dialog.droppedSizes.size(), 1u);
    EXPECT_EQ(dialog.droppedSizes[0], CSize(32, 16));
    ::ReleaseStgMedium(&medium);
}

TEST_F(EngineInputTest, ATruncatedDroppedDibIsRefused) {
    // A header that promises 100 × 100 pixels with only the header in the block.
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER));
    {
        const GlobalLockScope locked(block);
        *static_cast<BITMAPINFOHEADER*>(locked.data()) = {
            sizeof(BITMAPINFOHEADER), 100, 100, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    }
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    FORMATETC format{CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_FALSE(engine().OnDrop(&format, medium, &effect));
    EXPECT_TRUE(dialog.droppedSizes.empty());
    ::ReleaseStgMedium(&medium);
}

// A dragged object offering one global-memory format, as another program's drag would.
class OneFormatData final : public IDataObject {
  public:
    OneFormatData(CLIPFORMAT format, HGLOBAL block) : format_(format), block_(block) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *out = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* f, STGMEDIUM* m) override {
        if (QueryGetData(f) != S_OK)
            return DV_E_FORMATETC;
        SIZE_T size = ::GlobalSize(block_.get());
        HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
        {
            const GlobalLockScope to(copy);
            const GlobalLockScope from(block_.get());
            std::memcpy(to.data(), from.data(), size);
        }
        *m = {};
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = copy;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
        return f->cfFormat == format_ && (f->tymed & TYMED_HGLOBAL) != 0 ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  private:
    CLIPFORMAT format_;
    UniqueGlobal block_;
};

TEST_F(EngineInputTest, ADibDraggedOverTheWindowIsAcceptedAndDroppedAsAnImage) {
    constexpr int kWidth = 8, kHeight = 4;
    HGLOBAL block =
        ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + kWidth * kHeight * 4);
    {
        const GlobalLockScope locked(block);
        *static_cast<BITMAPINFOHEADER*>(locked.data()) = {
            sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    }
    OneFormatData object(CF_DIB, block);
    IDataObject* data = &object;

    IDropTarget* target = &engine();
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    ASSERT_HRESULT_SUCCEEDED(target->DragEnter(data, MK_LBUTTON, POINTL{150, 150}, &effect));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    ASSERT_HRESULT_SUCCEEDED(target->DragOver(MK_LBUTTON | MK_CONTROL, POINTL{150, 150}, &effect));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_HRESULT_SUCCEEDED(target->Drop(data, MK_CONTROL, POINTL{150, 150}, &effect));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_EQ(dialog.droppedSizes.size(), 1u);
    EXPECT_EQ(dialog.droppedSizes[0], CSize(kWidth, kHeight));
}

TEST_F(EngineInputTest, ADragOfANotListedFormatIsRefused) {
    OneFormatData object(CF_UNICODETEXT, ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 16));
    IDataObject* data = &object;
    IDropTarget* target = &engine();
    DWORD effect = DROPEFFECT_COPY;
    ASSERT_HRESULT_SUCCEEDED(target->DragEnter(data, MK_LBUTTON, POINTL{150, 150}, &effect));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    effect = DROPEFFECT_COPY;
    ASSERT_HRESULT_SUCCEEDED(target->Drop(data, 0, POINTL{150, 150}, &effect));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(dialog.droppedSizes.empty());
}

}  // namespace
