// The control base: state setters and their repaint requests, identity, child lists, copies, layout values,
// drawing order and surfaces, and what a control does to its host window (cursor, tool tip, invalidation).

#include "ProbeControl.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <limits>
#include <memory>
#include <new>

using namespace testing_support;

namespace {

// A plain top-level window to host an engine.
class HostWindow {
  public:
    HostWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ControlTestHost";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"host", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~HostWindow() { ::DestroyWindow(hwnd); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND hwnd = nullptr;
};

// An engine in pages of its own that are closed once it is destroyed, so that a later touch of it faults. The
// fault is counted and the pages are opened again, so that the test goes on and reports it.
class GuardedEngine {
  public:
    GuardedEngine() {
        SYSTEM_INFO info = {};
        ::GetSystemInfo(&info);
        size_ = (sizeof(Tessel::PaintManager) + info.dwPageSize - 1) / info.dwPageSize * info.dwPageSize;
        pages_ = static_cast<BYTE*>(::VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        s_guard = this;
        handler_ = ::AddVectoredExceptionHandler(1, &OnFault);
        engine_ = new (pages_) Tessel::PaintManager();
    }
    ~GuardedEngine() {
        Destroy();
        ::RemoveVectoredExceptionHandler(handler_);
        s_guard = nullptr;
        ::VirtualFree(pages_, 0, MEM_RELEASE);
    }
    GuardedEngine(const GuardedEngine&) = delete;
    GuardedEngine& operator=(const GuardedEngine&) = delete;

    Tessel::PaintManager* get() const noexcept { return engine_; }
    void Destroy() {
        if (engine_ == nullptr)
            return;
        engine_->~PaintManager();
        engine_ = nullptr;
        DWORD old = 0;
        ::VirtualProtect(pages_, size_, PAGE_NOACCESS, &old);
    }
    int Touches() const noexcept { return touches_; }

  private:
    static LONG CALLBACK OnFault(EXCEPTION_POINTERS* fault) {
        const EXCEPTION_RECORD* record = fault->ExceptionRecord;
        GuardedEngine* guard = s_guard;
        if (guard == nullptr || record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION ||
            record->NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        const auto* at = reinterpret_cast<const BYTE*>(record->ExceptionInformation[1]);
        if (at < guard->pages_ || at >= guard->pages_ + guard->size_)
            return EXCEPTION_CONTINUE_SEARCH;
        ++guard->touches_;
        DWORD old = 0;
        ::VirtualProtect(guard->pages_, guard->size_, PAGE_READWRITE, &old);
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static inline GuardedEngine* s_guard = nullptr;
    SIZE_T size_ = 0;
    BYTE* pages_ = nullptr;
    PVOID handler_ = nullptr;
    Tessel::PaintManager* engine_ = nullptr;
    int touches_ = 0;
};

}  // namespace

TEST(ControlBase, VisibilityAndEnabledRepaintOnlyOnChange) {
    Owner owner;
    Probe c(&owner, 1, CRect(10, 10, 50, 50));
    c.SetVisible(1);
    c.SetEnabled(1);
    EXPECT_TRUE(owner.updates.empty());

    c.SetVisible(0);  // hiding repaints the place that it leaves
    ASSERT_EQ(1u, owner.updates.size());
    EXPECT_EQ(CRect(10, 10, 50, 50), owner.updates[0].rect);
    EXPECT_EQ(1, owner.updates[0].discard);
    EXPECT_EQ(&c, owner.updates[0].control);
    EXPECT_EQ(0, c.PtInRect(CPoint(20, 20)));

    c.SetEnabled(0);  // hidden: no repaint
    EXPECT_EQ(1u, owner.updates.size());
    EXPECT_EQ(0, c.IsEnabled());

    c.SetVisible(1, 0);
    EXPECT_EQ(1u, owner.updates.size());
    EXPECT_EQ(1, c.IsVisible());
    c.SetEnabled(1);
    EXPECT_EQ(2u, owner.updates.size());
}

TEST(ControlBase, SetRectRepaintsOldAndNewPlaceEvenWhenUnchanged) {
    Owner owner;
    Probe c(&owner, 1, CRect(10, 10, 50, 50));
    c.SetRect(CRect(10, 10, 50, 50));
    ASSERT_EQ(1u, owner.updates.size());
    EXPECT_EQ(CRect(10, 10, 50, 50), owner.updates[0].rect);

    c.SetRect(100, 20, 30, 40);
    EXPECT_EQ(CRect(100, 20, 130, 60), c.GetRect());
    EXPECT_EQ(CRect(10, 10, 130, 60), owner.updates[1].rect);
    EXPECT_EQ(1, owner.updates[1].discard);

    // Sizes that would overflow saturate instead.
    c.SetRect(INT_MAX - 5, 0, 100, 10);
    EXPECT_EQ(INT_MAX, c.GetRect().right);
}

TEST(ControlBase, RepaintRequestsAndNotificationsGoToTheParent) {
    Owner owner;
    Probe c(&owner, 9, CRect(0, 0, 20, 20), 0);
    c.UpdateControl(1, 0);
    EXPECT_TRUE(owner.updates.empty());
    c.UpdateControl(0, 1);
    c.UpdateControl(CRect(1, 2, 3, 4), 1, 1);
    c.UpdateAControl(0, 1);
    ASSERT_EQ(3u, owner.updates.size());
    EXPECT_EQ(0, owner.updates[0].discard);
    EXPECT_EQ(CRect(1, 2, 3, 4), owner.updates[1].rect);
    EXPECT_EQ(1, owner.updates[1].discard);
    EXPECT_EQ(0, owner.updates[2].discard);
    EXPECT_EQ(1, c.IsAnimating());
    c.UpdateAControl(1, 1);
    EXPECT_EQ(0, c.IsAnimating());

    c.SendMessageW(2, 5, 6);
    ASSERT_EQ(1u, owner.notices.size());
    EXPECT_EQ(9u, owner.notices[0].id);
    EXPECT_EQ(2u, owner.notices[0].code);

    // Without a parent nothing is sent anywhere.
    Probe orphan(nullptr, 1, CRect(0, 0, 5, 5));
    orphan.SetRect(CRect(1, 1, 2, 2));
    EXPECT_EQ(0, orphan.SendMessageW(2, 0, 0));
    EXPECT_EQ(0, orphan.IsParentVisible());
}

TEST(ControlBase, ClassNamesAndParentVisibility) {
    Owner owner;
    MObject bare;
    Probe c(&owner, 1, CRect());
    EXPECT_EQ(0, bare.IsClass(L"MControl"));
    EXPECT_EQ(0, bare.IsClass(nullptr));
    EXPECT_EQ(1, c.IsClass(L"MControl"));
    EXPECT_EQ(0, c.IsClass(L"mcontrol"));
    EXPECT_EQ(0, c.IsClass(L"MPicture"));

    class Dialog : public MObject {
      public:
        const wchar_t* GetClassNameW() override { return L"MDialog"; }
    } dialog;
    Probe top(&dialog, 1, CRect(), 0);
    Probe* child = AddProbe(top, 2, CRect());
    Probe* grandchild = AddProbe(*child, 3, CRect());
    EXPECT_EQ(1, top.IsParentVisible());
    EXPECT_EQ(0, child->IsParentVisible());
    EXPECT_EQ(0, grandchild->IsParentVisible());
    top.SetVisible(1);
    EXPECT_EQ(1, grandchild->IsParentVisible());
    EXPECT_EQ(0, c.IsParentVisible());  // an owner that is neither a dialog nor a control
}

TEST(ControlBase, GetControlSearchesControlChildrenBeforeAreas) {
    Owner owner;
    Probe root(&owner, 1, CRect());
    auto* area = new Probe(&root, 7, CRect());
    root.AddAreaControl(area);
    Probe* inArea = AddProbe(*area, 8, CRect());
    Probe* first = AddProbe(root, 2, CRect());
    Probe* deep = AddProbe(*first, 7, CRect());
    Probe* second = AddProbe(root, 3, CRect());
    EXPECT_EQ(deep, root.GetControl(7));
    EXPECT_EQ(second, root.GetControl(3));
    EXPECT_EQ(inArea, root.GetControl(8));
    EXPECT_EQ(nullptr, root.GetControl(1));  // the control itself is not compared
    EXPECT_EQ(nullptr, root.GetControl(99));
}

TEST(ControlBase, RemovingChildrenDeletesThemAndDropsFocusAndHover) {
    Owner owner;
    Tessel::PaintManager engine;
    Probe root(&owner, 1, CRect(0, 0, 100, 100));
    root.SetManager(&engine);
    Probe* a = AddProbe(root, 2, CRect(0, 0, 50, 50));
    Probe* b = AddProbe(root, 3, CRect(0, 0, 50, 50));
    a->takeMove = 1;
    root.OnMouseMove(0, CPoint(10, 10));
    ASSERT_EQ(a, root.GetHoverControl());
    engine.SetFocusControl(a);

    EXPECT_EQ(0, root.RemoveControl(a));
    EXPECT_EQ(nullptr, engine.GetFocusControl());
    EXPECT_EQ(nullptr, root.GetHoverControl());
    ASSERT_EQ(1u, root.GetControls()->size());
    EXPECT_EQ(b, root.GetControls()->front());
    root.OnMouseMove(0, CPoint(20, 20));  // must not touch the deleted child
    EXPECT_EQ(0, root.RemoveControl(a));

    // A control that is deleted while it has the engine's focus leaves no dangling focus behind.
    engine.SetFocusControl(b);
    b->SetManager(&engine);
    root.RemoveAllControl();
    EXPECT_EQ(nullptr, engine.GetFocusControl());
    EXPECT_TRUE(root.GetControls()->empty());
}

TEST(ControlBase, CopiesShareNoChildrenSurfacesOrState) {
    Owner owner;
    Probe original(&owner, 4, CRect(0, 0, 40, 30));
    original.SetTooltip(L"tip");
    original.SetTabStop(1);
    Probe* child = AddProbe(original, 5, CRect(0, 0, 10, 10));
    child->takeMove = 1;
    original.OnMouseMove(0, CPoint(5, 5));
    WindowDC screen(nullptr);
    HDC dc = screen.get();
    original.UpdateMemDC(dc, 40, 30);

    Probe copy(original);
    EXPECT_EQ(4u, copy.GetControlID());
    EXPECT_STREQ(L"tip", copy.GetTooltip());
    EXPECT_EQ(1, copy.IsTabStop());
    EXPECT_TRUE(copy.GetControls()->empty());
    EXPECT_EQ(nullptr, copy.GetHoverControl());
    EXPECT_EQ(nullptr, copy.MemDC());
    EXPECT_EQ(0, copy.GetUpdate());

    Probe assigned(&owner, 9, CRect());
    AddProbe(assigned, 6, CRect());
    assigned = original;
    EXPECT_EQ(4u, assigned.GetControlID());
    EXPECT_EQ(1u, assigned.GetControls()->size());  // keeps its own children
    EXPECT_NE(original.GetControls()->front(), assigned.GetControls()->front());
}

TEST(ControlBase, PositionItemValues) {
    Owner owner;
    Probe c(&owner, 1, CRect());
    using Tessel::POSITION_ITEM;
    EXPECT_EQ(15, c.Position(POSITION_ITEM{0, 0, 5.9f}, 10, 110));
    EXPECT_EQ(105, c.Position(POSITION_ITEM{0, 1, 5.0f}, 10, 110));
    EXPECT_EQ(65, c.Position(POSITION_ITEM{1, 0, 5.0f}, 10, 110));
    EXPECT_EQ(55, c.Position(POSITION_ITEM{1, 1, 5.0f}, 10, 110));
    EXPECT_EQ(43, c.Position(POSITION_ITEM{2, 0, 33.9f}, 10, 110));
    EXPECT_EQ(110, c.Position(POSITION_ITEM{2, 0, 250.0f}, 10, 110));
    EXPECT_EQ(0, c.Position(POSITION_ITEM{3, 0, 5.0f}, 10, 110));
    // Values that are not numbers or do not fit an int give defined results.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float huge = 1e30f;
    EXPECT_EQ(10, c.Position(POSITION_ITEM{0, 0, nan}, 10, 110));
    EXPECT_EQ(INT_MAX, c.Position(POSITION_ITEM{0, 0, huge}, 10, 110));
    EXPECT_EQ(INT_MAX, c.Position(POSITION_ITEM{0, 1, -huge}, -10, 110));
    EXPECT_EQ(10, c.Position(POSITION_ITEM{2, 0, nan}, 10, 110));
    EXPECT_EQ(110, c.Position(POSITION_ITEM{2, 0, std::numeric_limits<float>::infinity()}, 10, 110));
}

TEST(ControlBase, DrawPaintsAreasThenItselfThenVisibleChildren) {
    Owner owner;
    std::vector<UINT> log;
    Probe root(&owner, 1, CRect(0, 0, 100, 100));
    root.drawLog = &log;
    auto* area = new Probe(&root, 2, CRect(0, 0, 10, 10));
    auto* farArea = new Probe(&root, 3, CRect(200, 200, 210, 210));
    root.AddAreaControl(area);
    root.AddAreaControl(farArea);
    Probe* shown = AddProbe(root, 4, CRect(50, 50, 60, 60));
    Probe* hidden = AddProbe(root, 5, CRect(50, 50, 60, 60), 0);
    Probe* clipped = AddProbe(root, 6, CRect(90, 90, 100, 100));
    for (Probe* p : {area, farArea, shown, hidden, clipped})
        p->drawLog = &log;
    HDC dc = nullptr;
    root.Draw(dc, CRect(0, 0, 80, 80));
    EXPECT_EQ((std::vector<UINT>{2, 1, 4}), log);
    log.clear();
    root.Draw(dc, CRect(150, 150, 160, 160));
    EXPECT_TRUE(log.empty());
}

TEST(ControlBase, CacheSurfaceIsKeptWhileTheSizeStays) {
    Owner owner;
    Probe root(&owner, 1, CRect(0, 0, 100, 100));
    Probe* inside = AddProbe(root, 2, CRect(10, 10, 20, 20));
    Probe* outside = AddProbe(root, 3, CRect(300, 300, 310, 310));
    WindowDC screen(nullptr);
    HDC dc = screen.get();
    root.UpdateMemDC(dc, 40, 30);
    EXPECT_EQ(1, root.GetUpdate());
    HDC first = root.MemDC();
    ASSERT_NE(nullptr, first);
    BITMAP bm = {};
    ASSERT_NE(0, ::GetObjectW(::GetCurrentObject(first, OBJ_BITMAP), sizeof(bm), &bm));
    EXPECT_EQ(40, bm.bmWidth);
    EXPECT_EQ(30, bm.bmHeight);
    EXPECT_EQ(32, bm.bmBitsPixel);
    root.UpdateMemDC(dc, 40, 30);
    EXPECT_EQ(first, root.MemDC());
    root.UpdateMemDC(dc, 50, 30);
    ASSERT_NE(0, ::GetObjectW(::GetCurrentObject(root.MemDC(), OBJ_BITMAP), sizeof(bm), &bm));
    EXPECT_EQ(50, bm.bmWidth);

    root.UpdateAnimateDC(dc, 8, 8);
    EXPECT_EQ(1, root.IsAnimating());
    EXPECT_NE(nullptr, root.AnimateDC());

    // Invalidating passes to the children that overlap the control.
    inside->UpdateMemDC(dc, 10, 10);
    outside->UpdateMemDC(dc, 10, 10);
    root.SetUpdate(0, 0xC8C8C8);
    EXPECT_EQ(0, root.GetUpdate());
    EXPECT_EQ(0, inside->GetUpdate());
    EXPECT_EQ(1, outside->GetUpdate());
}

TEST(ControlBase, CursorKeywordsSetTheCursorOverTheControl) {
    Owner owner;
    Probe c(&owner, 1, CRect(0, 0, 50, 50));
    EXPECT_EQ(0, c.SetCursorEx(L"hand"));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_HAND), c.GetCursor());
    EXPECT_EQ(0, c.SetCursorEx(L"Hand"));
    EXPECT_EQ(0, c.SetCursorEx(nullptr));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_HAND), c.GetCursor());

    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    c.OnMouseMove(0, CPoint(60, 60));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_ARROW), ::GetCursor());
    c.OnMouseMove(0, CPoint(10, 10));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_HAND), ::GetCursor());
    c.SetCursorEx(L"sizens");
    c.OnMouseMove(0, CPoint(10, 10));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_SIZENS), ::GetCursor());
}

TEST(ControlBase, EnterLeaveTrackingFollowsThePointer) {
    Owner owner;
    Probe c(&owner, 1, CRect(0, 0, 50, 50));
    EXPECT_EQ(1, c.IsPointerOutside());
    c.OnMouseMove(0, CPoint(10, 10));
    EXPECT_EQ(1, c.IsPointerOutside());  // not tracked
    c.SetTrackEnterLeave(1);
    c.OnMouseMove(0, CPoint(10, 10));
    EXPECT_EQ(0, c.IsPointerOutside());
    c.OnMouseMove(0, CPoint(70, 10));
    EXPECT_EQ(1, c.IsPointerOutside());
}

TEST(ControlBase, InvalidatesItsRectangleInTheHostWindow) {
    HostWindow host;
    ASSERT_NE(nullptr, host.hwnd);
    Tessel::PaintManager engine;
    Owner owner;
    Probe c(&owner, 1, CRect(10, 20, 60, 70));
    c.Invalidate(FALSE);  // no engine: nothing, no crash
    engine.Init(host.hwnd, nullptr);
    ASSERT_EQ(host.hwnd, engine.GetPaintWnd());
    c.SetManager(&engine);

    ::ValidateRect(host.hwnd, nullptr);
    c.Invalidate(FALSE);
    RECT dirty = {};
    EXPECT_TRUE(::GetUpdateRect(host.hwnd, &dirty, FALSE));
    EXPECT_EQ(CRect(10, 20, 60, 70), CRect(dirty));

    // A layered window too: its paint finds what else the rectangle needs.
    engine.SetLayeredWindow(TRUE);
    ::ValidateRect(host.hwnd, nullptr);
    c.Invalidate(FALSE);
    EXPECT_TRUE(::GetUpdateRect(host.hwnd, &dirty, FALSE));
    EXPECT_EQ(CRect(10, 20, 60, 70), CRect(dirty));
}

TEST(ControlBase, TooltipIsShownOnceForTheControlUnderThePointer) {
    HostWindow host;
    Tessel::PaintManager engine;
    engine.Init(host.hwnd, nullptr);
    Owner owner;
    Probe c(&owner, 42, CRect(0, 0, 50, 50));
    c.SetManager(&engine);
    c.SetTooltip(nullptr);
    EXPECT_STREQ(L"", c.GetTooltip());
    c.OnMouseMove(0, CPoint(10, 10));
    EXPECT_EQ(0, engine.GetTooltipCtrlID());
    EXPECT_EQ(nullptr, engine.GetTooltipWnd());
    // The common-controls library comes with the first tip, not with the engine.
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"comctl32.dll"));

    c.SetTooltip(L"Light on or off");
    c.OnMouseMove(0, CPoint(80, 10));
    EXPECT_EQ(0, engine.GetTooltipCtrlID());
    c.OnMouseMove(0, CPoint(10, 10));
    EXPECT_EQ(42, engine.GetTooltipCtrlID());
    ASSERT_NE(nullptr, engine.GetTooltipWnd());
    EXPECT_NE(nullptr, ::GetModuleHandleW(L"comctl32.dll"));
    wchar_t text[64] = {};
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = host.hwnd;
    tool.uId = 1313;
    tool.lpszText = text;
    ::SendMessageW(engine.GetTooltipWnd(), TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(L"Light on or off", text);

    // An empty text hides the tip but leaves its owner recorded; clearing forgets the owner.
    engine.SetTooltip(L"", CRect());
    EXPECT_EQ(42, engine.GetTooltipCtrlID());
    c.ClearTooltip();
    EXPECT_EQ(0, engine.GetTooltipCtrlID());
    c.SetTooltip(CString(L"now"), CRect(0, 0, 5, 5));
    EXPECT_EQ(42, engine.GetTooltipCtrlID());
    EXPECT_STREQ(L"Light on or off", c.GetTooltip());  // the stored text is not changed
}

TEST(ControlBase, MasterTimerRegistrationNeedsAnEngine) {
    Tessel::PaintManager engine;
    Owner owner;
    Probe c(&owner, 1, CRect());
    c.AddMTimer();
    c.SetManager(&engine);
    c.AddMTimer();
    ASSERT_EQ(1u, engine.GetMTimerControls().size());
    EXPECT_EQ(&c, engine.GetMTimerControls().front());
}

TEST(ControlBase, ControlsThatOutliveTheirEngineTouchNothingOfIt) {
    HostWindow host;
    Owner owner;
    GuardedEngine guarded;
    Tessel::PaintManager& engine = *guarded.get();
    engine.Init(host.hwnd, nullptr);
    // A control of the engine's list, pressed: it holds the hover and the window holds the mouse.
    auto* pressed = new Probe(&owner, 1, CRect(60, 0, 110, 50));
    pressed->SetManager(&engine);
    engine.GetControls()->push_back(pressed);
    engine.OnMouseMove(0, CPoint(70, 10));
    engine.OnLButtonDown(MK_LBUTTON, CPoint(70, 10));
    ASSERT_EQ(pressed, engine.GetHoverControl());
    ASSERT_EQ(host.hwnd, ::GetCapture());
    // Controls the caller owns: one from the factory, one given the engine by hand and a copy of it, in every
    // place where the engine keeps a control.
    std::unique_ptr<MControl> made(
        engine.CreateControl(2, &owner, L"CArea", 2, CRect(0, 0, 50, 50), nullptr, 1, 1));
    ASSERT_NE(nullptr, made);
    auto byHand = std::make_unique<Probe>(&owner, 3, CRect(0, 0, 50, 50));
    byHand->SetManager(&engine);
    auto copy = std::make_unique<Probe>(*byHand);
    made->AddMTimer();
    ASSERT_TRUE(engine.SetTimer(byHand.get(), 1, 100000));
    engine.SetFocusControl(copy.get());
    made->SetTooltip(CString(L"tip"), CRect());

    guarded.Destroy();
    EXPECT_EQ(nullptr, ::GetCapture());
    EXPECT_EQ(nullptr, made->GetManager());
    EXPECT_EQ(nullptr, byHand->GetManager());
    EXPECT_EQ(nullptr, copy->GetManager());
    made.reset();
    byHand.reset();
    copy.reset();
    EXPECT_EQ(0, guarded.Touches());
}

TEST(ControlBase, SetManagerHandsTheEngineToInitControl) {
    class Initialised : public Probe {
      public:
        using Probe::Probe;
        void InitControl(Tessel::PaintManager* manager) override {
            seen = manager;
            seenStored = GetManager();
        }
        Tessel::PaintManager* seen = nullptr;
        Tessel::PaintManager* seenStored = nullptr;
    };
    Owner owner;
    Tessel::PaintManager engine;
    Initialised c(&owner, 1, CRect());
    c.SetManager(&engine);
    EXPECT_EQ(&engine, c.seen);
    EXPECT_EQ(&engine, c.seenStored);
    EXPECT_EQ(0, c.IsFocusControl());
    // The engine left behind keeps nothing of the control.
    engine.SetFocusControl(&c);
    c.AddMTimer();
    c.SetManager(nullptr);
    EXPECT_EQ(nullptr, c.GetManager());
    EXPECT_EQ(nullptr, engine.GetFocusControl());
    EXPECT_TRUE(engine.GetMTimerControls().empty());
}
