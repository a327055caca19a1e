// Draws what the virtual displays show, as LED digits, refreshed five times a second: for K1 and K2 the
// three temperature digits with their unit, the level bar and the second reading. A display that is not
// plugged in is drawn dark; one whose light is off shows unlit segments.

#include "VirtualDisplayState.h"
#include "win/ScopeGuards.h"

#include <memory>

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 200;
constexpr int kWidth = 460;
constexpr int kRowHeight = 130;

constexpr COLORREF kBackground = RGB(12, 12, 16);
constexpr COLORREF kLit = RGB(255, 64, 32);
constexpr COLORREF kUnlit = RGB(48, 20, 16);
constexpr COLORREF kLabel = RGB(180, 180, 190);

// Segments a-g of the digits 0-9 (bit 0 = a ... bit 6 = g).
constexpr unsigned char kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

vdisplay::State* g_state = nullptr;  // not owned
std::unique_ptr<vdisplay::Block> g_block;

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
    UniqueBrush brush(::CreateSolidBrush(color));
    RECT r{left, top, right, bottom};
    ::FillRect(dc, &r, brush.get());
}

// A seven-segment digit in a w x h box; digit < 0 draws all segments unlit.
void DrawDigit(HDC dc, int x, int y, int w, int h, int digit, bool lit) {
    const int t = w / 6 > 2 ? w / 6 : 2;
    const int mid = y + h / 2;
    const RECT seg[7] = {
        {x + t, y, x + w - t, y + t},                  // a
        {x + w - t, y + t, x + w, mid},                // b
        {x + w - t, mid, x + w, y + h - t},            // c
        {x + t, y + h - t, x + w - t, y + h},          // d
        {x, mid, x + t, y + h - t},                    // e
        {x, y + t, x + t, mid},                        // f
        {x + t, mid - t / 2, x + w - t, mid + t / 2},  // g
    };
    const unsigned char on = (digit >= 0 && digit <= 9) ? kSegments[digit] : 0;
    for (int i = 0; i < 7; ++i) {
        Fill(dc, seg[i].left, seg[i].top, seg[i].right, seg[i].bottom,
             (lit && (on >> i & 1)) ? kLit : kUnlit);
    }
}

void DrawText(HDC dc, int x, int y, const wchar_t* text, COLORREF color) {
    ::SetTextColor(dc, color);
    ::SetBkMode(dc, TRANSPARENT);
    ::TextOutW(dc, x, y, text, lstrlenW(text));
}

void DrawDisplay(HDC dc, int row, const vdisplay::DisplaySlot& slot) {
    const int top = 10 + row * kRowHeight;
    DrawText(dc, 12, top, vdisplay::DisplayName(row), kLabel);
    const bool plugged = slot.plugged != 0;
    const vdisplay::Shown& s = slot.shown;
    const bool lit = plugged && s.reports > 0 && s.lightOn;
    if (!plugged) {
        DrawText(dc, 12, top + 20, L"not plugged", kLabel);
    }
    const int value[3] = {s.value / 100 % 10, s.value / 10 % 10, s.value % 10};
    for (int i = 0; i < 3; ++i) {
        DrawDigit(dc, 110 + i * 52, top, 40, 72, value[i], lit);
    }
    DrawText(dc, 272, top,
             s.fahrenheit == 1 ? L"\x00B0"
                                 L"F"
                               : L"\x00B0"
                                 L"C",
             lit ? kLit : kUnlit);
    const int second[3] = {s.second / 100 % 10, s.second / 10 % 10, s.second % 10};
    for (int i = 0; i < 3; ++i) {
        DrawDigit(dc, 320 + i * 36, top + 24, 26, 48, second[i], lit);
    }
    for (int i = 0; i < 10; ++i) {
        Fill(dc, 110 + i * 30, top + 90, 110 + i * 30 + 24, top + 102, (lit && i < s.level) ? kLit : kUnlit);
    }
}

void Paint(HWND window) {
    const PaintScope paint(window);
    HDC dc = paint.dc();
    RECT client;
    ::GetClientRect(window, &client);
    UniqueMemoryDC memory(::CreateCompatibleDC(dc));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(dc, client.right, client.bottom));
    const SelectionScope selected(memory.get(), bitmap.get());
    Fill(memory.get(), 0, 0, client.right, client.bottom, kBackground);
    for (int d = 0; d < vdisplay::kDisplayCount; ++d) {
        DrawDisplay(memory.get(), d, g_block->displays[d]);
    }
    ::BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            g_state->Copy(g_block.get());
            ::InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    vdisplay::State state;
    if (!state.Open()) {
        return 3;
    }
    g_state = &state;
    g_block = std::make_unique<vdisplay::Block>();
    state.Copy(g_block.get());

    WNDCLASSW wc{};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"CalidraVirtualDisplayViewer";
    ::RegisterClassW(&wc);
    RECT frame{0, 0, kWidth, 20 + vdisplay::kDisplayCount * kRowHeight};
    ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"Virtual display", WS_OVERLAPPEDWINDOW,
                                    CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                    frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    ::SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
    ::ShowWindow(window, show);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
