// The fair floor of the memory benchmark (benchmarks/resident_memory.py): a bare program that starts what
// Calidra.exe must start and holds what it must hold, and nothing more. It starts GDI+, COM and OLE, adds a
// tray icon (the program's icon), registers the program's private font (for GDI and for GDI+), decodes the
// skin images the panel shows at start, pushes one frame of the panel's size to a layered window in the
// bottom-right corner (the background, the two switch pictures and a status line in the private font) and
// then waits in its message loop. With --https it also makes one WinINet HTTPS request first, as the
// program's update check does, and keeps what that loaded.
//
//   fair_floor.exe [--https URL]     (run from a folder that holds skins\theme1\, as the program is)
//
// Exit code: 0 when its window closes, 1 when a step failed (the step is named on the standard error stream).

#include "win/InternetHandle.h"
#include "win/ScopeGuards.h"

#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kClassName[] = L"FairFloor";
constexpr int kWidth = 396;  // the panel's size
constexpr int kHeight = 289;
constexpr UINT kIconResource = 107;  // the program's icon, the same file (FairFloor.rc)
constexpr UINT kFontResource = 106;  // the private font, the same file
constexpr UINT kTrayIconId = 1;
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr wchar_t kSkinFolder[] = L"skins\\theme1\\";
// The images the panel shows at start with the default settings (light on, Celsius), and where.
constexpr const wchar_t* kBackground = L"img_bkg.png";
struct Picture {
    const wchar_t* file;
    int x, y;
};
constexpr Picture kPictures[] = {{L"img_led_on.png", 215, 95}, {L"img_temp_type1.png", 215, 152}};
constexpr int kPictureWidth = 71;
constexpr int kPictureHeight = 23;
// The status line: its place, size and colour.
const Gdiplus::RectF kStatusArea(140, 16, 212, 24);
constexpr Gdiplus::REAL kStatusFontSize = 12;
constexpr Gdiplus::ARGB kStatusColor = 0xFF8C96A5;
constexpr wchar_t kStatusText[] = L"K1 \u00b7 45 \u00b0C";
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_SECURE;
constexpr DWORD kReadChunk = 4096;

bool Fail(const char* step) {
    std::fprintf(stderr, "fair_floor: %s failed (error %lu)\n", step, ::GetLastError());
    return false;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// One GET over HTTPS, read to its end, everything closed again.
bool FetchOnce(const std::wstring& url) {
    const UniqueHInternet internet(
        ::InternetOpenW(L"Calidra", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, nullptr, nullptr, 0));
    const UniqueHInternet request(
        internet ? ::InternetOpenUrlW(internet.get(), url.c_str(), nullptr, 0, kRequestFlags, 0) : nullptr);
    if (!request) {
        return Fail("the HTTPS request");
    }
    char buffer[kReadChunk];
    DWORD got = 0;
    while (::InternetReadFile(request.get(), buffer, sizeof(buffer), &got) && got > 0) {
    }
    return true;
}

// The private font, registered for GDI and for GDI+ as the program's UI library does.
struct PrivateFont {
    UniqueFontRegistration gdi;
    Gdiplus::PrivateFontCollection collection;
    std::unique_ptr<Gdiplus::FontFamily> family;

    bool Register(HINSTANCE instance) {
        HRSRC resource = ::FindResourceW(instance, MAKEINTRESOURCEW(kFontResource), L"TTF");
        HGLOBAL loaded = resource != nullptr ? ::LoadResource(instance, resource) : nullptr;
        void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        const DWORD size = resource != nullptr ? ::SizeofResource(instance, resource) : 0;
        DWORD fonts = 0;
        gdi.reset(data != nullptr ? ::AddFontMemResourceEx(data, size, nullptr, &fonts) : nullptr);
        if (!gdi || collection.AddMemoryFont(data, static_cast<INT>(size)) != Gdiplus::Ok) {
            return Fail("registering the private font");
        }
        family = std::make_unique<Gdiplus::FontFamily>();
        INT found = 0;
        return collection.GetFamilies(1, family.get(), &found) == Gdiplus::Ok && found == 1
                   ? true
                   : Fail("finding the private font's family");
    }
};

// One frame of the panel drawn into a 32-bit DIB section and pushed to the layered window; the surface is
// let go afterwards (the window keeps what was pushed).
bool PushFrame(HWND window, const std::vector<std::unique_ptr<Gdiplus::Image>>& images,
               Gdiplus::FontFamily* family) {
    const WindowDC screen(nullptr);
    const UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const UniqueBitmap surface(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!surface || bits == nullptr) {
        return Fail("creating the frame's surface");
    }
    const SelectionScope selected(memory.get(), surface.get());
    {
        Gdiplus::Bitmap canvas(kWidth, kHeight, kWidth * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits));
        Gdiplus::Graphics graphics(&canvas);
        graphics.DrawImage(images[0].get(), 0, 0, kWidth, kHeight);
        for (size_t i = 0; i < std::size(kPictures); ++i) {
            graphics.DrawImage(images[i + 1].get(), kPictures[i].x, kPictures[i].y, kPictureWidth,
                               kPictureHeight);
        }
        const Gdiplus::Font font(family, kStatusFontSize, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
        const Gdiplus::SolidBrush brush{Gdiplus::Color(kStatusColor)};
        Gdiplus::StringFormat format;
        format.SetAlignment(Gdiplus::StringAlignmentFar);
        format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        graphics.DrawString(kStatusText, -1, &font, kStatusArea, &format, &brush);
    }
    SIZE size = {kWidth, kHeight};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return ::UpdateLayeredWindow(window, screen.get(), nullptr, &size, memory.get(), &source, 0, &blend,
                                 ULW_ALPHA)
               ? true
               : Fail("pushing the frame");
}

int Run(HINSTANCE instance, const std::wstring& url) {
    const GdiplusSession gdiplus;
    const ComApartment com;
    const OleSession ole;
    if (!gdiplus.ok()) {
        Fail("starting GDI+");
        return 1;
    }
    if (!url.empty() && !FetchOnce(url)) {
        return 1;
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    HWND window =
        ::RegisterClassExW(&windowClass)
            ? ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"Fair floor",
                                WS_POPUP | WS_VISIBLE, work.right - kWidth, work.bottom - kHeight, kWidth,
                                kHeight, nullptr, nullptr, instance, nullptr)
            : nullptr;
    if (window == nullptr) {
        Fail("creating the window");
        return 1;
    }
    const UniqueIcon icon(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                                          IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                          ::GetSystemMetrics(SM_CYSMICON), 0)));
    NOTIFYICONDATAW tray{};
    tray.cbSize = sizeof(tray);
    tray.hWnd = window;
    tray.uID = kTrayIconId;
    tray.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    tray.uCallbackMessage = kTrayMessage;
    tray.hIcon = icon.get();
    wcscpy_s(tray.szTip, L"Fair floor");
    if (!::Shell_NotifyIconW(NIM_ADD, &tray)) {
        Fail("adding the tray icon");
        return 1;
    }
    PrivateFont font;
    std::vector<std::unique_ptr<Gdiplus::Image>> images;
    const std::wstring skins = ProgramFolder() + kSkinFolder;
    for (const wchar_t* file : {kBackground, kPictures[0].file, kPictures[1].file}) {
        images.push_back(std::make_unique<Gdiplus::Image>((skins + file).c_str()));
        if (images.back()->GetLastStatus() != Gdiplus::Ok) {
            Fail("decoding a skin image");
            return 1;
        }
    }
    if (!font.Register(instance) || !PushFrame(window, images, font.family.get())) {
        return 1;
    }
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::Shell_NotifyIconW(NIM_DELETE, &tray);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    const std::wstring arguments = commandLine != nullptr ? commandLine : L"";
    const std::wstring https = L"--https ";
    if (!arguments.empty() && arguments.compare(0, https.size(), https) != 0) {
        std::fprintf(stderr, "usage: fair_floor.exe [--https URL]\n");
        return 1;
    }
    return Run(instance, arguments.empty() ? arguments : arguments.substr(https.size()));
}
