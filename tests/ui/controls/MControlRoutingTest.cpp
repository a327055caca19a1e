// Input routing through a real tree of controls: who receives mouse, wheel, key and timer events.

#include "ProbeControl.h"
#include "win/Handle.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace testing_support;

namespace {

// Root 0,0..200,200 with two overlapping children: a 10,10..60,60 and b 40,40..100,100.
// A root control of 200 × 200 and its owner.
struct Root {
    Owner owner;
    Probe root{&owner, 100, CRect(0, 0, 200, 200)};
};

struct Tree : Root {
    Probe* a = AddProbe(root, 10, CRect(10, 10, 60, 60));
    Probe* b = AddProbe(root, 11, CRect(40, 40, 100, 100));
};

}  // namespace

TEST(ControlRouting, MouseMoveOffersEveryChildAndTheLastContainingTakerHovers) {
    Tree t;
    t.a->takeMove = t.b->takeMove = 1;
    EXPECT_EQ(1, t.root.OnMouseMove(0, CPoint(50, 50)));
    EXPECT_EQ(1, t.a->moves);
    EXPECT_EQ(1, t.b->moves);
    EXPECT_EQ(t.b, t.root.GetHoverControl());

    // The hover child alone gets moves while the point stays in it.
    EXPECT_EQ(1, t.root.OnMouseMove(0, CPoint(55, 55)));
    EXPECT_EQ(1, t.a->moves);
    EXPECT_EQ(2, t.b->moves);

    // Leaving it hands the hover to the child under the point; b still sees the move that it left with.
    EXPECT_EQ(1, t.root.OnMouseMove(0, CPoint(20, 20)));
    EXPECT_EQ(t.a, t.root.GetHoverControl());
    EXPECT_EQ(3, t.b->moves);

    // A child that takes a move outside its rectangle does not become the hover child; the result still
    // reports the previous hover child.
    EXPECT_EQ(1, t.root.OnMouseMove(0, CPoint(150, 150)));
    EXPECT_EQ(nullptr, t.root.GetHoverControl());
    EXPECT_EQ(1, t.root.OnMouseMove(0, CPoint(150, 150)));  // the children took it
    EXPECT_EQ(nullptr, t.root.GetHoverControl());
}

TEST(ControlRouting, MoveResultWithoutTakersIsTheOwnHook) {
    Tree t;
    EXPECT_EQ(0, t.root.OnMouseMove(0, CPoint(150, 150)));
    t.root.takeMove = 1;
    EXPECT_EQ(1, t.root.OnMouseMove(0, CPoint(150, 150)));
    EXPECT_EQ(nullptr, t.root.GetHoverControl());
}

TEST(ControlRouting, PressedChildKeepsTheMouseUntilRelease) {
    Tree t;
    t.a->takeMove = t.b->takeMove = 1;
    EXPECT_EQ(1, t.root.OnLButtonDown(MK_LBUTTON, CPoint(20, 20)));
    EXPECT_EQ(1, t.a->downs);
    EXPECT_EQ(t.a, t.root.GetHoverControl());

    // Dragging across b and out of everything: only a hears about it.
    t.root.OnMouseMove(MK_LBUTTON, CPoint(90, 90));
    t.root.OnMouseMove(MK_LBUTTON, CPoint(180, 180));
    EXPECT_EQ(2, t.a->moves);
    EXPECT_EQ(CPoint(180, 180), t.a->lastPt);
    EXPECT_EQ(0, t.b->moves);
    EXPECT_EQ(0, t.root.moves);

    EXPECT_EQ(1, t.root.OnLButtonUp(0, CPoint(180, 180)));
    EXPECT_EQ(1, t.a->ups);
    EXPECT_EQ(t.a, t.root.GetHoverControl());  // a release does not clear the hover child

    // Released: the next move outside a goes to everybody again.
    t.root.OnMouseMove(0, CPoint(90, 90));
    EXPECT_EQ(t.b, t.root.GetHoverControl());
    EXPECT_EQ(1, t.b->moves);
}

TEST(ControlRouting, PressChoosesTheLastEnabledChildUnderThePoint) {
    Tree t;
    EXPECT_EQ(1, t.root.OnLButtonDown(0, CPoint(50, 50)));
    EXPECT_EQ(0, t.a->downs);
    EXPECT_EQ(1, t.b->downs);

    // A disabled or hidden child is passed over by a press, left or right; a disabled one still hears moves.
    for (const bool hide : {false, true}) {
        Tree p;
        if (hide)
            p.b->SetVisible(0);
        else
            p.b->SetEnabled(0);
        p.root.OnLButtonDown(0, CPoint(50, 50));
        p.root.OnLButtonUp(0, CPoint(50, 50));
        p.root.OnRButtonDown(0, CPoint(50, 50));
        EXPECT_EQ(1, p.a->downs);
        EXPECT_EQ(1, p.a->rdowns);
        EXPECT_EQ(0, p.b->downs + p.b->rdowns);
        p.root.OnRButtonUp(0, CPoint(50, 50));
        p.root.OnMouseMove(0, CPoint(90, 90));
        EXPECT_EQ(hide ? 0 : 1, p.b->moves);
    }
}

TEST(ControlRouting, PressOnEmptySpaceFocusesTheControlItself) {
    Tessel::PaintManager engine;
    Tree t;
    t.root.SetManager(&engine);
    t.a->SetManager(&engine);
    engine.SetFocusControl(t.a);
    ASSERT_EQ(1, t.a->IsFocused());

    EXPECT_EQ(1, t.root.OnLButtonDown(0, CPoint(150, 150)));
    EXPECT_EQ(&t.root, engine.GetFocusControl());
    EXPECT_EQ(1, t.root.IsFocusControl());
    EXPECT_EQ(0, t.a->IsFocused());
    EXPECT_EQ((std::vector<int>{1}), t.root.focusLog);
    EXPECT_EQ(1, t.root.downs);
    EXPECT_EQ(CPoint(150, 150), t.root.lastPt);

    // A second press keeps the focus where it is without new focus calls.
    t.root.OnLButtonDown(0, CPoint(150, 150));
    EXPECT_EQ((std::vector<int>{1}), t.root.focusLog);
}

TEST(ControlRouting, DoubleClickIsASecondPressUnlessTheControlWantsDoubleClicks) {
    Owner owner;
    Probe plain(&owner, 1, CRect(0, 0, 50, 50));
    plain.OnLButtonDown(0, CPoint(5, 5));
    plain.OnLButtonUp(0, CPoint(5, 5));
    EXPECT_EQ(1, plain.OnLButtonDblClk(0, CPoint(5, 5)));
    EXPECT_EQ(2, plain.downs);
    EXPECT_EQ(0, plain.dblclks);

    Probe wants(&owner, 7, CRect(0, 0, 50, 50));
    wants.SetDblClkFlag(1);
    wants.SetNotifyDblClk(1);
    EXPECT_EQ(1, wants.OnLButtonDblClk(MK_LBUTTON, CPoint(6, 8)));
    EXPECT_EQ(0, wants.downs);
    EXPECT_EQ(1, wants.dblclks);
    ASSERT_EQ(1u, owner.notices.size());
    EXPECT_EQ(7u, owner.notices[0].id);
    EXPECT_EQ(3u, owner.notices[0].code);
    EXPECT_EQ(static_cast<WPARAM>(MK_LBUTTON), owner.notices[0].wParam);
    EXPECT_EQ(CPoint(6, 8), owner.lastPoint);

    // Right button: no notification, the press hook without the flag.
    EXPECT_EQ(1, plain.OnRButtonDblClk(0, CPoint(5, 5)));
    EXPECT_EQ(1, plain.rdowns);
    EXPECT_EQ(1, wants.OnRButtonDblClk(0, CPoint(5, 5)));
    EXPECT_EQ(1, wants.rdblclks);
    EXPECT_EQ(1u, owner.notices.size());
}

TEST(ControlRouting, DoubleClickOnAHoverChildFallsBackToItsPress) {
    Tree t;
    t.a->takeDown = 0;  // the child's own double-click routing then reports nothing handled
    t.root.OnLButtonDown(0, CPoint(20, 20));
    t.root.OnLButtonUp(0, CPoint(20, 20));
    EXPECT_EQ(0, t.root.OnLButtonDblClk(0, CPoint(20, 20)));
    // Press, the double click routed as a press inside a, then the parent's fallback press.
    EXPECT_EQ(3, t.a->downs);

    Tree w;
    w.a->SetDblClkFlag(1);
    w.a->takeDbl = 0;
    w.root.OnLButtonDown(0, CPoint(20, 20));
    EXPECT_EQ(0, w.root.OnLButtonDblClk(0, CPoint(20, 20)));
    EXPECT_EQ(1, w.a->dblclks);
    EXPECT_EQ(1, w.a->downs);
}

TEST(ControlRouting, ControlWithoutResponseIgnoresInputButIsDrawn) {
    Owner owner;
    Probe mute(&owner, 1, CRect(0, 0, 50, 50), 1, 1, 0);
    mute.takeMove = mute.takeKey = mute.takeScroll = 1;
    EXPECT_EQ(0, mute.OnMouseMove(0, CPoint(5, 5)));
    EXPECT_EQ(0, mute.OnLButtonDown(0, CPoint(5, 5)));
    EXPECT_EQ(0, mute.OnLButtonUp(0, CPoint(5, 5)));
    EXPECT_EQ(0, mute.OnLButtonDblClk(0, CPoint(5, 5)));
    EXPECT_EQ(0, mute.OnRButtonDown(0, CPoint(5, 5)));
    EXPECT_EQ(0, mute.OnKeyDown(VK_RETURN, 1, 0));
    EXPECT_EQ(0, mute.OnScroll(1, 0, CPoint(5, 5)));
    EXPECT_EQ(0, mute.moves + mute.downs + mute.ups + mute.keys + mute.scrolls);
    HDC dc = nullptr;
    mute.Draw(dc, CRect(0, 0, 100, 100));
    EXPECT_EQ(1u, mute.ownLog.size());
}

TEST(ControlRouting, ScrollBarChildrenGetTheUntranslatedPoint) {
    Owner owner;
    Probe container(&owner, 100, CRect(0, 0, 100, 100));
    container.shift = CPoint(0, 300);  // content scrolled by 300 pixels
    Probe* bar = AddProbe(container, 2, CRect(90, 0, 100, 100));
    Probe* item = AddProbe(container, 5, CRect(0, 300, 90, 400));
    bar->takeMove = item->takeMove = 1;

    container.OnMouseMove(0, CPoint(95, 10));
    EXPECT_EQ(CPoint(95, 10), bar->lastPt);
    EXPECT_EQ(CPoint(95, 310), item->lastPt);
    EXPECT_EQ(bar, container.GetHoverControl());

    container.OnLButtonDown(0, CPoint(95, 20));
    EXPECT_EQ(1, bar->downs);
    EXPECT_EQ(CPoint(95, 20), bar->lastPt);
    container.OnLButtonUp(0, CPoint(95, 20));

    container.OnLButtonDown(0, CPoint(20, 20));
    EXPECT_EQ(1, item->downs);
    EXPECT_EQ(CPoint(20, 320), item->lastPt);
}

TEST(ControlRouting, WheelStopsAtTheFirstTaker) {
    Root r;
    Probe& root = r.root;
    // Three children over each other; the second and third would take the wheel.
    Probe* c[3];
    for (UINT i = 0; i < 3; ++i)
        c[i] = AddProbe(root, 11 + i, CRect(0, 0, 100, 100));
    c[1]->takeScroll = c[2]->takeScroll = 1;
    EXPECT_EQ(1, root.OnScroll(1, 0, CPoint(10, 10)));
    EXPECT_EQ(1, root.scrolls);
    EXPECT_EQ(1, c[0]->scrolls);
    EXPECT_EQ(1, c[1]->scrolls);
    EXPECT_EQ(0, c[2]->scrolls);

    // The control's own hook comes before its children.
    root.takeScroll = 1;
    EXPECT_EQ(1, root.OnScroll(1, 0, CPoint(10, 10)));
    EXPECT_EQ(1, c[0]->scrolls);

    // Outside the control, or disabled: nothing.
    EXPECT_EQ(0, root.OnScroll(1, 0, CPoint(300, 10)));
    root.SetEnabled(0);
    EXPECT_EQ(0, root.OnScroll(1, 0, CPoint(10, 10)));
    EXPECT_EQ(2, root.scrolls);
}

TEST(ControlRouting, WheelGoesToTheHoverChildFirst) {
    Root r;
    Probe& root = r.root;
    Probe* c1 = AddProbe(root, 11, CRect(0, 0, 100, 100));
    c1->takeMove = c1->takeScroll = 1;
    AddProbe(root, 12, CRect(0, 0, 100, 100))->takeScroll = 1;
    root.OnMouseMove(0, CPoint(10, 10));
    ASSERT_EQ(c1, root.GetHoverControl());
    root.takeScroll = 1;
    EXPECT_EQ(1, root.OnScroll(1, 0, CPoint(10, 10)));
    EXPECT_EQ(1, c1->scrolls);
    EXPECT_EQ(0, root.scrolls);
}

TEST(ControlRouting, KeysGoToTheDeepestFocusedDescendant) {
    Root r;
    Probe& root = r.root;
    Probe* other = AddProbe(root, 1, CRect(0, 0, 10, 10));
    Probe* mid = AddProbe(root, 20, CRect(0, 0, 100, 100));
    Probe* leaf = AddProbe(*mid, 30, CRect(0, 0, 50, 50));
    other->takeKey = 1;
    mid->SetFocusedFlag(1);
    leaf->SetFocusedFlag(1);
    leaf->SetNotifyKey(1);
    leaf->takeKey = 1;

    EXPECT_EQ(1, root.OnKeyDown('A', 1, 0x11));
    EXPECT_EQ(1, leaf->keys);
    EXPECT_EQ(0, mid->keys + root.keys + other->keys);
    ASSERT_EQ(1u, mid->notices.size());
    EXPECT_EQ(30u, mid->notices[0].id);
    EXPECT_EQ(14u, mid->notices[0].code);
    EXPECT_EQ(static_cast<WPARAM>('A'), mid->notices[0].wParam);
    EXPECT_EQ(0x11, mid->notices[0].lParam);

    // Taken by nobody: reported all the same, and not handled.
    leaf->takeKey = 0;
    EXPECT_EQ(0, root.OnKeyDown('B', 1, 0));
    EXPECT_EQ(2u, mid->notices.size());

    // A focused descendant that is hidden swallows nothing and reports nothing.
    leaf->SetVisible(0);
    EXPECT_EQ(0, root.OnKeyDown('C', 1, 0));
    EXPECT_EQ(2u, mid->notices.size());
}

TEST(ControlRouting, KeyNotificationDependsOnWhoTookTheKey) {
    Owner owner;
    Probe target(&owner, 5, CRect(0, 0, 200, 200));
    target.SetNotifyKey(1);
    Probe* hover = AddProbe(target, 6, CRect(0, 0, 50, 50));
    Probe* later = AddProbe(target, 7, CRect(100, 100, 150, 150));
    hover->takeMove = 1;
    target.OnMouseMove(0, CPoint(10, 10));
    ASSERT_EQ(hover, target.GetHoverControl());

    // Taken by the hover child: this control reports nothing.
    hover->takeKey = 1;
    EXPECT_EQ(1, target.OnKeyDown('A', 1, 0));
    EXPECT_TRUE(owner.notices.empty());

    // Taken by another child in list order: reported.
    hover->takeKey = 0;
    later->takeKey = 1;
    EXPECT_EQ(1, target.OnKeyDown('B', 1, 0));
    ASSERT_EQ(1u, owner.notices.size());
    EXPECT_EQ(14u, owner.notices[0].code);
    EXPECT_EQ(static_cast<WPARAM>('B'), owner.notices[0].wParam);

    // Taken by the control's own hot key: reported; the hot key needs the exact modifier value.
    later->takeKey = 0;
    target.SetHotKey(VK_F5, 0x11);
    EXPECT_EQ(0, target.OnKeyDown(VK_F5, 1, 0));
    EXPECT_EQ(1, target.OnKeyDown(VK_F5, 1, 0x11));
    EXPECT_EQ(3u, owner.notices.size());
    EXPECT_EQ(0, target.KeyHook(VK_F6, 1, 0x11));
}

TEST(ControlRouting, TimerTicksEveryVisibleRunTimerChild) {
    Root r;
    Probe& root = r.root;
    Probe* taker = AddProbe(root, 1, CRect(0, 0, 10, 10));
    Probe* after = AddProbe(root, 2, CRect(0, 0, 10, 10));
    Probe* idle = AddProbe(root, 3, CRect(0, 0, 10, 10));
    Probe* hidden = AddProbe(root, 4, CRect(0, 0, 10, 10), 0);
    Probe* grandchild = AddProbe(*after, 5, CRect(0, 0, 10, 10));
    taker->SetRunTimer(1);
    after->SetRunTimer(1);
    hidden->SetRunTimer(1);
    grandchild->SetRunTimer(1);
    taker->takeTimer = 1;

    EXPECT_EQ(1, root.OnTimer());
    EXPECT_EQ(1, root.ticks);
    EXPECT_EQ(1, taker->ticks);
    EXPECT_EQ(1, after->ticks);
    EXPECT_EQ(1, grandchild->ticks);
    EXPECT_EQ(0, idle->ticks);
    EXPECT_EQ(0, hidden->ticks);

    taker->takeTimer = 0;
    EXPECT_EQ(0, root.OnTimer());
    root.takeTimer = 1;
    EXPECT_EQ(1, root.OnTimer());
}

namespace {

// A child that, while it is being offered a move, has another thread remove its later sibling.
class Remover : public Probe {
  public:
    using Probe::Probe;
    MControl* victim = nullptr;
    UniqueHandle thread;
    DWORD waitedBeforeReturn = 0;

  protected:
    int OnControlMouseMove(UINT flags, CPoint pt) override {
        thread.reset(::CreateThread(nullptr, 0, &RemoveVictim, this, 0, nullptr));
        waitedBeforeReturn = ::WaitForSingleObject(thread.get(), 200);
        return Probe::OnControlMouseMove(flags, pt);
    }

  private:
    // A thread procedure is WINAPI, which a lambda cannot be on 32-bit Windows.
    static DWORD WINAPI RemoveVictim(void* self) {
        auto* me = static_cast<Remover*>(self);
        static_cast<MControl*>(me->GetParantObject())->RemoveControl(me->victim);
        return 0;
    }
};

}  // namespace

TEST(ControlRouting, ChildListStaysLockedWhileAnEventIsOffered) {
    Root r;
    Probe& root = r.root;
    auto* remover = new Remover(&root, 1, CRect(0, 0, 10, 10));
    root.AddControl(remover);
    Probe* victim = AddProbe(root, 2, CRect(0, 0, 10, 10));
    remover->victim = victim;

    root.OnMouseMove(0, CPoint(100, 100));
    // The removal waited for the loop: the victim still got its move.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), remover->waitedBeforeReturn);
    EXPECT_EQ(1, victim->moves);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(remover->thread.get(), 10000));
    EXPECT_EQ(1u, root.GetControls()->size());
}
