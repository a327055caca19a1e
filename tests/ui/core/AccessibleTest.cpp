// A dialog's controls as assistive programs see them: read and driven through MSAA from another process (the
// probe, tests/support/AccessibleProbe.cpp), the WinEvents caught by a hook in this test, the keyboard's
// default action, and the focus ring in the painted pixels.

#include "PaintHost.h"
#include "TestDialog.h"
#include "TestSupport.h"
#include "Wait.h"

#include "controls/MButton.h"
#include "controls/MText.h"
#include "win/ScopeGuards.h"

#include <gtest/gtest.h>

#include <ole2.h>
#include <oleacc.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using testing_support::WaitUntil;
using testing_support::WhileWaiting;

namespace {

constexpr wchar_t kTitle[] = L"Accessible test dialog";
constexpr wchar_t kRingImage[] = L"test_focus_ring.png";
constexpr DWORD kRingColour = 0xFF20C040;
// The ring image's top-left pixel: half covering, as the soft edge of a drawn ring is.
constexpr DWORD kRingEdge = 0x80104020;
const CRect kDialogRect(100, 100, 400, 300);

// Child ids: the area controls first, then the controls, in creation order.
enum Child : LONG { kSelf = 0, kReady = 1, kApply = 2, kLight = 3, kLater = 4, kHidden = 5 };

struct Event {
    DWORD event;
    LONG child;
    bool operator==(const Event& o) const { return event == o.event && child == o.child; }
};
std::vector<Event>* g_events = nullptr;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (g_events != nullptr && object == OBJID_CLIENT)
        g_events->push_back({event, child});
}

class AccessibleTest : public testing_support::DialogFixture {
  protected:
    void SetUp() override {
        // A ring image: a 2-pixel frame 4 pixels larger than the picture on every side.
        testing_support::WriteSkin(kRingImage, 78, 38, [](int x, int y) {
            if (x == 0 && y == 0)
                return kRingEdge;
            return x < 2 || y < 2 || x >= 76 || y >= 36 ? kRingColour : 0u;
        });
        hwnd = dialog.Create(nullptr, kTitle, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, kDialogRect);
        ASSERT_NE(hwnd, nullptr);
        engine().SetPaintPacing(0);
        ready = static_cast<Tessel::MText*>(
            dialog.CreateArea(L"MText", 11, CRect(10, 10, 190, 30), L"Ready", 1, 0));
        apply = dialog.CreateControl(L"MButton", 12, CRect(10, 40, 110, 70), L"Apply", 1, 1);
        light = dialog.CreateControl(L"MPicture", 13, CRect(120, 40, 190, 70), L"", 1, 1);
        later = dialog.CreateControl(L"MButton", 14, CRect(10, 80, 110, 110), L"Later", 1, 0);
        hidden = dialog.CreateControl(L"MButton", 15, CRect(120, 80, 190, 110), L"Hidden", 0, 1);
        apply->SetTabStop(1);
        light->SetTabStop(1);
        engine().SetAccessibleName(light, L"Light");
        engine().SetAccessibleRole(light, ROLE_SYSTEM_CHECKBUTTON);
        engine().SetAccessibleChecked(light, TRUE);
        engine().SetFocusRing(light, kRingImage);
    }
    void TearDown() override {
        if (::IsWindow(hwnd))
            ::DestroyWindow(hwnd);
    }
    Tessel::PaintManager& engine() { return dialog.GetPaintManager(); }

    // The probe's output once it has ended; this thread serves its calls meanwhile.
    std::string Probe(const std::wstring& arguments, DWORD* exitCode = nullptr) {
        const std::wstring out = testing_support::TestDir() + L"accessible_probe.txt";
        {
            testing_support::ChildProcess probe(
                testing_support::Quote(testing_support::TestDir() + L"AccessibleProbe.exe") + L" " +
                    arguments,
                out);
            EXPECT_TRUE(WaitUntil([&] { return !probe.Runs(); }, 20000, WhileWaiting::PumpMessages))
                << "the probe did not end";
            if (exitCode != nullptr)
                *exitCode = probe.ExitCode(0).value_or(~0u);
        }
        std::ifstream file(std::filesystem::path(out), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // The window in front with the keyboard focus, as after a click on it.
    bool Activate() {
        return WaitUntil(
            [&] {
                ::SetForegroundWindow(hwnd);
                ::SetFocus(hwnd);
                return ::GetFocus() == hwnd;
            },
            5000, WhileWaiting::PumpMessages);
    }
    void Key(UINT message, WPARAM key, LPARAM lParam = 0) {
        MSG msg{hwnd, message, key, lParam, 0, {0, 0}};
        if (!dialog.PreTranslateMessage(&msg))
            ::SendMessageW(hwnd, message, key, lParam);
    }
    CRect OnScreen(CRect client) {
        ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
        return client;
    }
    int Clicks(UINT id) {
        int n = 0;
        for (const testing_support::Notice& notice : dialog.notices)
            n += notice.id == id && notice.code == Tessel::kNotifyClicked ? 1 : 0;
        return n;
    }

    // Other processes reach the dialog's client object through COM on this thread.
    OleSession ole;
    testing_support::TestDialog dialog;
    HWND hwnd = nullptr;
    Tessel::MText* ready = nullptr;
    Tessel::MControl* apply = nullptr;
    Tessel::MControl* light = nullptr;
    Tessel::MControl* later = nullptr;
    Tessel::MControl* hidden = nullptr;
};

std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == '\t')
                fields.emplace_back();
            else
                fields.back() += c;
        }
        rows.push_back(fields);
    }
    return rows;
}

std::string Hex(LONG v) {
    std::ostringstream s;
    s << std::hex << v;
    return s.str();
}

std::string Rect(const CRect& r) {
    std::ostringstream s;
    s << r.left << "," << r.top << "," << r.Width() << "," << r.Height();
    return s.str();
}

TEST_F(AccessibleTest, AnotherProcessReadsTheVisibleControlsWithRoleNameStateAndPlace) {
    const auto rows = Rows(Probe(L"tree \"Accessible test dialog\""));
    struct Row {
        LONG id, role, state;
        CRect rect;
        const char *name, *action;
    };
    const Row expected[] = {
        {kReady, ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_READONLY, CRect(10, 10, 190, 30), "Ready", ""},
        {kApply, ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE, CRect(10, 40, 110, 70), "Apply", "Press"},
        {kLight, ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED,
         CRect(120, 40, 190, 70), "Light", "Uncheck"},
        {kLater, ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_UNAVAILABLE, CRect(10, 80, 110, 110), "Later", "Press"},
    };
    ASSERT_EQ(rows.size(), 1 + std::size(expected)) << "the hidden button is no child";
    EXPECT_EQ(rows[0][1], Hex(ROLE_SYSTEM_CLIENT));
    EXPECT_EQ(rows[0][3], Rect(OnScreen(CRect(0, 0, 300, 200))));
    EXPECT_EQ(rows[0][4], "Accessible test dialog");
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Row& e = expected[i];
        const std::vector<std::string> want = {
            std::to_string(e.id), Hex(e.role), Hex(e.state), Rect(OnScreen(e.rect)), e.name, "", e.action};
        EXPECT_EQ(rows[i + 1], want) << "child " << e.id;
    }
}

TEST_F(AccessibleTest, HitTestNavigationAndFocusAnswerWithChildIds) {
    const CPoint inLight = OnScreen(CRect(150, 50, 151, 51)).TopLeft();
    const CPoint empty = OnScreen(CRect(250, 150, 251, 151)).TopLeft();
    auto args = [](auto... parts) {
        std::wostringstream s;
        s << L"\"Accessible test dialog\"";
        ((s << L" " << parts), ...);
        return s.str();
    };
    const std::pair<std::wstring, std::string> cases[] = {
        {L"hit " + args(inLight.x, inLight.y), "3"},
        {L"hit " + args(empty.x, empty.y), "0"},
        {L"hit " + args(kDialogRect.right + 50, kDialogRect.bottom + 50), "none"},
        {L"navigate " + args(kSelf, NAVDIR_FIRSTCHILD), "1"},
        {L"navigate " + args(kSelf, NAVDIR_LASTCHILD), "4"},
        {L"navigate " + args(kApply, NAVDIR_NEXT), "3"},
        {L"navigate " + args(kApply, NAVDIR_PREVIOUS), "1"},
        {L"navigate " + args(kLater, NAVDIR_NEXT), "none"},
        {L"navigate " + args(kApply, NAVDIR_RIGHT), "3"},
        {L"navigate " + args(kLight, NAVDIR_DOWN), "4"},
        {L"navigate " + args(kReady, NAVDIR_UP), "none"},
        {L"navigate " + args(99, NAVDIR_DOWN), "accNavigate failed: 0x80070057"},  // E_INVALIDARG
        {L"focus " + args(), "0"},
        {L"select " + args(L"Light"), ""},
        {L"focus " + args(), "3"},
    };
    for (const auto& [arguments, answer] : cases) {
        // Only the window with the keyboard has a focused object; windows of tests beside this one may take
        // it.
        if (arguments.rfind(L"focus", 0) == 0) {
            ASSERT_TRUE(Activate());
        }
        DWORD code = 0;
        const std::string output = Probe(arguments, &code);
        EXPECT_EQ(code, answer.find("failed") == std::string::npos ? 0u : 1u) << output;
        EXPECT_EQ(output, answer.empty() ? answer : answer + "\n")
            << std::string(arguments.begin(), arguments.end());
    }
    EXPECT_EQ(engine().GetFocusControl(), light);
}

TEST_F(AccessibleTest, DefaultActionsComeFromAnotherProcessAndFromSpaceAndEnterOnTheFocusedTabStop) {
    DWORD code = 0;
    Probe(L"act \"Accessible test dialog\" Apply", &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitUntil([&] { return Clicks(12) == 1; }, 5000, WhileWaiting::PumpMessages));
    Probe(L"act \"Accessible test dialog\" Later", &code);
    EXPECT_EQ(code, 1u) << "a disabled button does nothing";
    Probe(L"act \"Accessible test dialog\" Ready", &code);
    EXPECT_EQ(code, 1u) << "a text has no action";

    Key(WM_KEYDOWN, VK_TAB);
    ASSERT_EQ(engine().GetFocusControl(), apply);
    Key(WM_KEYDOWN, VK_SPACE);
    Key(WM_KEYDOWN, VK_SPACE, 1 << 30);  // held down: no second click
    Key(WM_KEYDOWN, VK_TAB);
    Key(WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(Clicks(12), 2);
    EXPECT_EQ(Clicks(13), 1);
    EXPECT_EQ(Clicks(14), 0);
}

TEST_F(AccessibleTest, FocusStateNameValueAndVisibilityChangesRaiseWinEvents) {
    ASSERT_TRUE(Activate());
    std::vector<Event> events;
    g_events = &events;
    HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_VALUECHANGE, nullptr, &OnWinEvent,
                                           ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    Key(WM_KEYDOWN, VK_TAB);                      // focus to Apply
    engine().SetAccessibleChecked(light, FALSE);  // unchecked
    ready->SetTitle(L"Busy");                     // the text's name
    engine().SetAccessibleValue(light, L"dim");   // a value
    later->SetVisible(0);                         // hidden
    hidden->SetVisible(1);                        // shown
    testing_support::SendMouse(hwnd, WM_MOUSEMOVE, 0, 20, 50);
    testing_support::SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 20, 50);  // pressed
    testing_support::SendMouse(hwnd, WM_LBUTTONUP, 0, 20, 50);             // released
    const std::vector<Event> expected = {
        {EVENT_OBJECT_FOCUS, kApply},       {EVENT_OBJECT_STATECHANGE, kLight},
        {EVENT_OBJECT_NAMECHANGE, kReady},  {EVENT_OBJECT_VALUECHANGE, kLight},
        {EVENT_OBJECT_HIDE, kLater},        {EVENT_OBJECT_SHOW, kHidden},
        {EVENT_OBJECT_STATECHANGE, kApply}, {EVENT_OBJECT_STATECHANGE, kApply},
    };
    WaitUntil([&] { return events.size() >= expected.size(); }, 5000, WhileWaiting::PumpMessages);
    ::UnhookWinEvent(hook);
    g_events = nullptr;
    EXPECT_EQ(events, expected);
}

TEST_F(AccessibleTest, TheFocusRingShowsAfterTabAndGoesWithAMousePress) {
    ASSERT_TRUE(Activate());
    // The ring image lies 4 pixels outside the 70 x 30 picture at 120, 40.
    const CPoint ringTop(150, 36);
    const CPoint softCorner(116, 36);
    auto ringShown = [&] {
        testing_support::PaintNow(engine());
        return engine().GetPaintPixel(ringTop.x, ringTop.y) == kRingColour;
    };
    EXPECT_FALSE(ringShown());
    Key(WM_KEYDOWN, VK_TAB);
    Key(WM_KEYDOWN, VK_TAB);
    ASSERT_EQ(engine().GetFocusControl(), light);
    EXPECT_TRUE(ringShown());
    // A repaint of the picture alone draws the ring again, but only where it repaints.
    const DWORD corner = engine().GetPaintPixel(softCorner.x, softCorner.y);
    engine().InvalidateRect(light->GetRect(), FALSE);
    ::UpdateWindow(hwnd);
    EXPECT_EQ(engine().GetPaintPixel(softCorner.x, softCorner.y), corner);

    testing_support::SendMouse(hwnd, WM_MOUSEMOVE, 0, 150, 50);
    testing_support::SendMouse(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 150, 50);
    testing_support::SendMouse(hwnd, WM_LBUTTONUP, 0, 150, 50);
    EXPECT_EQ(engine().GetFocusControl(), light);
    EXPECT_FALSE(ringShown()) << "the mouse took over: no ring";
}

TEST_F(AccessibleTest, TheEnumerationOfChildrenStopsAtItsEnd) {
    Microsoft::WRL::ComPtr<IEnumVARIANT> children;
    ASSERT_EQ(::AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, IID_IEnumVARIANT, &children), S_OK);
    VARIANT got[3];
    ULONG fetched = 0;
    // Four visible children: 3 skipped, then one of three asked for; past the end nothing, however far.
    EXPECT_EQ(children->Skip(3), S_OK);
    EXPECT_EQ(children->Next(3, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0].lVal, kLater);
    EXPECT_EQ(children->Skip(1), S_FALSE);
    EXPECT_EQ(children->Reset(), S_OK);
    EXPECT_EQ(children->Skip(1), S_OK);
    EXPECT_EQ(children->Skip(ULONG_MAX), S_FALSE);
    EXPECT_EQ(children->Next(3, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(AccessibleTest, AClientObjectKeptBeyondItsWindowAnswersThatItIsGone) {
    Microsoft::WRL::ComPtr<IAccessible> object;
    ASSERT_EQ(::AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible), &object), S_OK);
    LONG count = 0;
    EXPECT_EQ(object->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 4);
    ::DestroyWindow(hwnd);
    EXPECT_EQ(object->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    VARIANT child;
    ::VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = kApply;
    EXPECT_EQ(object->accDoDefaultAction(child), CO_E_OBJNOTCONNECTED);
}

}  // namespace
