// Paint figures of a skinned layered dialog (396 × 289: background, two pictures and a button), measured
// against a bare GDI+ render + UpdateLayeredWindow of the same images in the same run.
//
//   PaintBench.exe [shadow]            prints the figures; with "shadow" the dialog has its drop shadow, and
//                                      the shadow's own figures follow
//   PaintBench.exe hold <ms> [shadow]  shows the dialog for <ms> milliseconds (for a screenshot), then exits
//   PaintBench.exe compose <file.png>  writes the dialog with its shadow as a compositing desktop shows them:
//                                      Xvfb cannot blend partial alpha, so the picture is made from the two
//                                      layered windows' own pixels over a light backdrop

#include "CountingButton.h"
#include "SkinImages.h"

#include "controls/MButton.h"
#include "controls/MPicture.h"
#include "core/MDialog.h"
#include "core/Manager.h"
#include "core/DrawSurface.h"
#include "win/ScopeGuards.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <memory>
#include <vector>

using namespace Tessel;
using testing_support::CountingButton;

namespace {

constexpr int kWidth = 396;
constexpr int kHeight = 289;
const CRect kButton(170, 12, 270, 42);
// The button's caption, as the dialog sets it.
constexpr wchar_t kButtonText[] = L"Check";
constexpr wchar_t kButtonFont[] = L"DejaVu Sans";
constexpr int kButtonFontSize = 13;
constexpr Gdiplus::ARGB kButtonTextColor = 0xFF1E1E1E;
// The two switch pictures.
const CRect kPictures[] = {CRect(296, 97, 367, 120), CRect(296, 153, 367, 176)};

class BenchDialog : public MDialog {
  public:
    explicit BenchDialog(bool withShadow) : shadow(withShadow) {}
    void InitUI(CRect) override {
        if (shadow)
            CreateShadow(TRUE, false);
        m_PaintManager.SetLayeredWindow(TRUE);
        m_PaintManager.SetPaintPacing(0);
        LoadBKImage(L"img_bkg.png");
        auto* a = static_cast<MPicture*>(CreateControl(L"MPicture", 1, kPictures[0], nullptr, 1, 1));
        auto* b = static_cast<MPicture*>(CreateControl(L"MPicture", 2, kPictures[1], nullptr, 1, 1));
        if (a != nullptr)
            a->SetImage(L"img_led_on.png", 1);
        if (b != nullptr)
            b->SetImage(L"img_temp_type1.png", 1);
        button = new CountingButton(this, 3, kButton, kButtonText, 1, 1);
        button->SetManager(&m_PaintManager);
        m_PaintManager.GetControls()->push_back(button);
        button->SetImage(L"img_button.png", 4);
        button->SetFont(kButtonFont, kButtonFontSize, Gdiplus::FontStyleRegular);
        button->SetTextColor(Gdiplus::Color(kButtonTextColor));
    }
    bool shadow;
    CountingButton* button = nullptr;  // owned by the engine
};

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double ThreadCpuMs() {
    FILETIME created, ended, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
    auto ms = [](FILETIME f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                   f.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

struct Series {
    std::vector<double> wall;  // per frame
    std::vector<double> cpu;   // per frame, averaged over each batch
    void Print(const char* what) {
        auto stat = [](std::vector<double> v, double q) {
            std::sort(v.begin(), v.end());
            return v.empty()
                       ? 0.0
                       : v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
        };
        std::printf("%-46s wall median %6.2f ms  p95 %6.2f ms | cpu median %6.2f ms  p95 %6.2f ms\n", what,
                    stat(wall, 0.5), stat(wall, 0.95), stat(cpu, 0.5), stat(cpu, 0.95));
    }
};

// The median over batches of (median of a's batch / median of b's batch): the rounds interleave, so each
// ratio compares frames measured moments apart on a busy machine.
double MedianRatio(const std::vector<double>& a, const std::vector<double>& b, int batch) {
    auto batchMedian = [batch](const std::vector<double>& v, size_t first) {
        std::vector<double> part(v.begin() + first, v.begin() + first + batch);
        std::sort(part.begin(), part.end());
        return part[part.size() / 2];
    };
    std::vector<double> ratios;
    for (size_t first = 0; first + batch <= std::min(a.size(), b.size()); first += batch)
        ratios.push_back(batchMedian(a, first) / batchMedian(b, first));
    std::sort(ratios.begin(), ratios.end());
    return ratios.empty() ? 0.0 : ratios[ratios.size() / 2];
}

// Runs `frame` in batches; the thread's CPU clock is coarse under wine, so CPU is taken per batch.
template <typename Frame>
void Measure(Series& series, int batch, Frame&& frame) {
    const double cpu0 = ThreadCpuMs();
    for (int i = 0; i < batch; ++i) {
        const double t0 = Now();
        frame();
        series.wall.push_back(Now() - t0);
    }
    series.cpu.push_back((ThreadCpuMs() - cpu0) / batch);
}

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// The baseline: the same work as the dialog's frame done bare. The same images, decoded once, and the
// button's caption in the same font, format and colour, drawn with GDI+ into one 32-bit DIB section kept from
// frame to frame, then pushed with UpdateLayeredWindow.
class Baseline {
  public:
    explicit Baseline(HWND hwnd)
        : hwnd_(hwnd),
          family_(kButtonFont),
          font_(&family_, kButtonFontSize, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel),
          brush_(Gdiplus::Color(kButtonTextColor)) {
        const CString folder = Manager::GetSkinFolder();
        for (const wchar_t* name :
             {L"img_bkg.png", L"img_led_on.png", L"img_temp_type1.png", L"img_button.png"})
            images_.emplace_back(new Gdiplus::Image(CString(folder + name).GetString()));
        format_.SetAlignment(Gdiplus::StringAlignmentCenter);
        format_.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        format_.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap |
                               Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
        if (kept_.Create(nullptr, kWidth, kHeight, DibRows::TopDown))
            canvas_ = std::make_unique<Gdiplus::Bitmap>(kWidth, kHeight, kWidth * 4, PixelFormat32bppPARGB,
                                                        reinterpret_cast<BYTE*>(kept_.GetBits()));
    }
    [[nodiscard]] bool ok() const { return canvas_ != nullptr && family_.IsAvailable(); }

    void Frame() {
        {
            Gdiplus::Graphics g(canvas_.get());
            g.Clear(Gdiplus::Color(0, 0, 0, 0));
            g.DrawImage(images_[0].get(), 0, 0, kWidth, kHeight);
            for (size_t i = 0; i < std::size(kPictures); ++i)
                g.DrawImage(images_[1 + i].get(), static_cast<int>(kPictures[i].left),
                            static_cast<int>(kPictures[i].top), 71, 23);
            g.DrawImage(images_[3].get(), Gdiplus::Rect(kButton.left, kButton.top, 100, 30), 0, 0, 100, 30,
                        Gdiplus::UnitPixel);
            g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
            const Gdiplus::RectF box(static_cast<float>(kButton.left), static_cast<float>(kButton.top),
                                     static_cast<float>(kButton.Width()),
                                     static_cast<float>(kButton.Height()));
            g.DrawString(kButtonText, -1, &font_, box, &format_, &brush_);
        }
        Push(nullptr);
    }

    // Only the window update of the kept surface: all of it, or only `dirty`. Under wine this is the floor of
    // a hover repaint, beside that of a full one.
    void Push(const RECT* dirty) {
        SIZE size = {kWidth, kHeight};
        POINT source = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        const UPDATELAYEREDWINDOWINFO info = {.cbSize = sizeof(UPDATELAYEREDWINDOWINFO),
                                              .hdcDst = nullptr,
                                              .pptDst = nullptr,
                                              .psize = &size,
                                              .hdcSrc = kept_.GetDC(),
                                              .pptSrc = &source,
                                              .crKey = 0,
                                              .pblend = &blend,
                                              .dwFlags = ULW_ALPHA,
                                              .prcDirty = dirty};
        ::UpdateLayeredWindowIndirect(hwnd_, &info);
    }

  private:
    HWND hwnd_;
    std::vector<std::unique_ptr<Gdiplus::Image>> images_;
    Gdiplus::FontFamily family_;
    Gdiplus::Font font_;
    Gdiplus::SolidBrush brush_;
    Gdiplus::StringFormat format_;
    DrawSurface kept_;
    std::unique_ptr<Gdiplus::Bitmap> canvas_;  // over kept_'s pixels
};

// The backdrop of the composed picture, and the margin it keeps around the shadow.
constexpr DWORD kBackdrop = 0xFFD8DDE3;
constexpr int kMargin = 16;

// Premultiplied `top` over an opaque `bottom`.
DWORD Over(DWORD top, DWORD bottom) {
    const DWORD keep = 255 - (top >> 24);
    DWORD out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= (((top >> shift) & 0xFF) + ((bottom >> shift) & 0xFF) * keep / 255) << shift;
    return out;
}

int Compose(BenchDialog& dialog, const wchar_t* path) {
    const MShadow& shadow = dialog.GetPaintManager().GetShadow();
    RECT dialogRect{}, shadowRect{}, all{};
    dialog.GetWindowRect(&dialogRect);
    if (!::GetWindowRect(shadow.GetWindow(), &shadowRect) || !::IsWindowVisible(shadow.GetWindow())) {
        std::fprintf(stderr, "PaintBench: the dialog shows no shadow\n");
        return 1;
    }
    ::UnionRect(&all, &dialogRect, &shadowRect);
    ::InflateRect(&all, kMargin, kMargin);
    const bool written =
        testing_support::WritePng(path, all.right - all.left, all.bottom - all.top, [&](int x, int y) {
            const int sx = static_cast<int>(all.left) + x;
            const int sy = static_cast<int>(all.top) + y;
            DWORD pixel = Over(shadow.GetPixel(sx - shadowRect.left, sy - shadowRect.top), kBackdrop);
            return Over(dialog.GetPaintManager().GetPaintPixel(sx - dialogRect.left, sy - dialogRect.top),
                        pixel);
        });
    if (!written)
        std::fprintf(stderr, "PaintBench: cannot write the picture\n");
    return written ? 0 : 1;
}

// What the shadow costs: a new rendering after a setting changed, and a move of the dialog that it follows,
// next to a move of the bare window.
void MeasureShadow(BenchDialog& dialog, HWND bare) {
    PaintManager& engine = dialog.GetPaintManager();
    HWND hwnd = dialog.GetSafeHwnd();
    Series render, moveWithShadow, moveBare;
    UINT darkness = engine.GetShadow().GetDarkness();
    int step = 0;
    auto move = [&step](HWND window, int x) {
        step = 1 - step;
        ::SetWindowPos(window, nullptr, x + step, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (int round = 0; round < 15; ++round) {
        Measure(render, 20, [&] { engine.SetDarkness(darkness ^= 1); });
        Measure(moveWithShadow, 20, [&] { move(hwnd, 100); });
        Measure(moveBare, 20, [&] { move(bare, 520); });
        Pump();
    }
    const MShadow& shadow = engine.GetShadow();
    RECT placed{};
    ::GetWindowRect(shadow.GetWindow(), &placed);
    std::printf("shadow: %ld x %ld layered window, sharpness %u, darkness %u\n", placed.right - placed.left,
                placed.bottom - placed.top, shadow.GetSharpness(), shadow.GetDarkness());
    render.Print("shadow rendered again (a setting changed)");
    moveWithShadow.Print("dialog move, its shadow following");
    moveBare.Print("bare window move");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    GdiplusSession gdiplus;
    Manager::SetInstance(::GetModuleHandleW(nullptr));
    int status = 0;
    {
        const bool compose = argc == 3 && std::wcscmp(argv[1], L"compose") == 0;
        BenchDialog dialog(compose || std::wcscmp(argv[argc - 1], L"shadow") == 0);
        if (dialog.Create(nullptr, L"Tessel", WS_POPUP, WS_EX_TOOLWINDOW,
                          CRect(100, 100, 100 + kWidth, 100 + kHeight)) == nullptr ||
            dialog.button == nullptr || !dialog.GetPaintManager().HasBKImage()) {
            std::fprintf(stderr, "PaintBench: the dialog or its skin could not be loaded\n");
            status = 1;
        } else if (compose) {
            dialog.ShowWindow(SW_SHOWNOACTIVATE);
            Pump();
            status = Compose(dialog, argv[2]);
        } else if (argc >= 3 && std::wcscmp(argv[1], L"hold") == 0) {
            dialog.ShowWindow(SW_SHOWNOACTIVATE);
            const double until = Now() + std::wcstol(argv[2], nullptr, 10);
            while (Now() < until) {
                Pump();
                ::Sleep(20);
            }
        } else {
            dialog.ShowWindow(SW_SHOWNOACTIVATE);
            Pump();
            PaintManager& engine = dialog.GetPaintManager();
            HWND hwnd = dialog.GetSafeHwnd();
            HWND bare = ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, L"Static", L"", WS_POPUP, 520,
                                          100, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
            ::ShowWindow(bare, SW_SHOWNOACTIVATE);
            Baseline baseline(bare);
            if (!baseline.ok()) {
                std::fprintf(stderr, "PaintBench: the bare render's surface or font could not be made\n");
                return 1;
            }
            auto fullDiscard = [&] {
                // The background is rendered again too.
                engine.SetBackMode(engine.GetBackMode(), 4);
                for (MControl* c : *engine.GetControls())
                    c->SetUpdate(0, engine.GetBackColor());
                ::InvalidateRect(hwnd, nullptr, TRUE);
                ::UpdateWindow(hwnd);
            };
            auto fullCached = [&] {
                ::InvalidateRect(hwnd, nullptr, TRUE);
                ::UpdateWindow(hwnd);
            };
            bool inside = false;
            auto hover = [&] {
                inside = !inside;
                dialog.button->OnMouseMove(0, inside ? CPoint(200, 25) : CPoint(10, 10));
                ::UpdateWindow(hwnd);
            };
            for (int i = 0; i < 20; ++i) {
                fullDiscard();
                baseline.Frame();
                hover();
            }
            Series base, discard, cached, hovered, pushWhole, pushPart;
            const int renders0 = dialog.button->renders;
            const UINT shadowRenders0 = engine.GetShadow().GetRenderCount();
            const int batch = 20;
            for (int round = 0; round < 15; ++round) {
                Measure(base, batch, [&] { baseline.Frame(); });
                Measure(cached, batch, fullCached);
                Measure(hovered, batch, hover);
                Measure(discard, batch, fullDiscard);
                Measure(pushWhole, batch, [&] { baseline.Push(nullptr); });
                Measure(pushPart, batch, [&] { baseline.Push(&kButton); });
                Pump();
            }
            const int hoverRenders =
                dialog.button->renders - renders0 - 15 * batch;  // discards render once each
            std::printf(
                "PaintBench: %d x %d layered dialog, background + 2 pictures + button, no pacing sleep\n",
                kWidth, kHeight);
            base.Print("bare GDI+ render + UpdateLayeredWindow");
            discard.Print("full repaint, background and controls redrawn");
            cached.Print("full repaint from the caches");
            hovered.Print("button hover repaint");
            pushWhole.Print("bare window update, whole surface");
            pushPart.Print("bare window update, the button's rectangle");
            // Each ratio compares like with like, frames of the same rounds: a full repaint that draws
            // everything against the bare render that draws the same; one drawn from the caches (nothing
            // drawn, the whole surface pushed) against the bare push of the whole surface; the hover (one
            // control drawn, its rectangle pushed) against the full repaint from the caches (aim: at most
            // 0.5); and wine's floor for that, a bare push of the button's rectangle against a bare push of
            // the whole surface.
            std::printf("rounds: %d of %d frames each\n", 15, batch);
            std::printf(
                "ratio full repaint (discarded) / bare render:   wall %.2f, cpu %.2f (median of rounds)\n",
                MedianRatio(discard.wall, base.wall, batch), MedianRatio(discard.cpu, base.cpu, 1));
            std::printf(
                "ratio full repaint (cached) / bare whole push:  wall %.2f, cpu %.2f (median of rounds)\n",
                MedianRatio(cached.wall, pushWhole.wall, batch), MedianRatio(cached.cpu, pushWhole.cpu, 1));
            std::printf("ratio hover / full repaint (cached):            wall %.2f (median of rounds)\n",
                        MedianRatio(hovered.wall, cached.wall, batch));
            std::printf("ratio hover / full repaint (discarded):         wall %.2f (median of rounds)\n",
                        MedianRatio(hovered.wall, discard.wall, batch));
            std::printf(
                "ratio bare push, rectangle / whole:             wall %.2f (median of rounds; wine's floor "
                "for the hover)\n",
                MedianRatio(pushPart.wall, pushWhole.wall, batch));
            std::printf("button renders during %d hover repaints: %d\n", 15 * batch, hoverRenders);
            if (dialog.shadow) {
                std::printf("shadow renders during the %d repaints above: %u\n", 3 * 15 * batch,
                            engine.GetShadow().GetRenderCount() - shadowRenders0);
                MeasureShadow(dialog, bare);
            }
            ::DestroyWindow(bare);
        }
        dialog.DestroyWindow();
    }
    return status;
}
