// Library globals: defaults, the scale rule, the skin folder of a real executable in a sub-folder and in a
// drive root, the library's own resources, the plain message loop and the optional GDI+/COM/OLE start-up.

#include "core/Manager.h"
#include "TestSupport.h"
#include "win/ScopeGuards.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <initializer_list>
#include <string>
#include <vector>

using Tessel::Manager;

namespace {

TEST(ManagerTest, DefaultsAndSetters) {
    EXPECT_EQ(Manager::GetTheme(), L"theme1\\");
    EXPECT_EQ(Manager::GetFontName(), L"Arial");
    EXPECT_EQ(Manager::GetFontWidth(), 14);
    EXPECT_EQ(Manager::GetScaleValue(), 1.0f);
    EXPECT_EQ(Manager::GetSelectColor().GetValue(), 0xFFBD30FFu);

    Manager::SetFont(L"Open Sans Semibold", 12);
    EXPECT_EQ(Manager::GetFontName(), L"Open Sans Semibold");
    EXPECT_EQ(Manager::GetFontWidth(), 12);
    Manager::SetFontName(L"Arial");
    Manager::SetFontWidth(14);
    EXPECT_EQ(Manager::m_fontname, L"Arial");

    HINSTANCE exe = ::GetModuleHandleW(nullptr);
    Manager::SetInstance(exe);
    EXPECT_EQ(Manager::GetInstance(), exe);
    EXPECT_EQ(Manager::m_hInstance, exe);
}

TEST(ManagerTest, ScaledValuesTruncateTowardZeroAndSaturate) {
    EXPECT_EQ(Manager::GetScaleValue(7), 7);
    Manager::SetScaleValue(0.5f);
    EXPECT_EQ(Manager::GetScaleValue(7), 3);
    Manager::SetScaleValue(1.5f);
    EXPECT_EQ(Manager::GetScaleValue(3), 4);
    EXPECT_EQ(Manager::GetScaleValue(-3), -4);
    Manager::SetScaleValue(1e30f);
    EXPECT_EQ(Manager::GetScaleValue(5), std::numeric_limits<int>::max());
    EXPECT_EQ(Manager::GetScaleValue(-5), std::numeric_limits<int>::min());
    Manager::SetScaleValue(std::nanf(""));
    EXPECT_EQ(Manager::GetScaleValue(5), 0);
    Manager::SetScaleValue(1.0f);
    EXPECT_EQ(Manager::GetScaleValue(), 1.0f);
}

// Copies the probe next to a chosen path, runs it there and returns the skin folder it printed.
std::wstring SkinFolderOfExecutableAt(const std::wstring& exePath) {
    std::wstring source = testing_support::TestDir() + L"SkinFolderProbe.exe";
    if (!::CopyFileW(source.c_str(), exePath.c_str(), FALSE)) {
        return L"<copy failed>";
    }
    std::wstring outFile = testing_support::TestDir() + L"skin_folder_probe.txt";
    ::DeleteFileW(outFile.c_str());
    auto run =
        testing_support::RunProcess(testing_support::Quote(exePath) + L" " + testing_support::Quote(outFile));
    ::DeleteFileW(exePath.c_str());
    if (!run.finished || run.exitCode != 0) {
        return L"<probe failed>";
    }
    std::wstring text;
    if (const UniqueFileHandle f(
            ::CreateFileW(outFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        f) {
        wchar_t buffer[1024] = {};
        DWORD read = 0;
        ::ReadFile(f.get(), buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr);
        text.assign(buffer, read / sizeof(wchar_t));
    }
    ::DeleteFileW(outFile.c_str());
    return text;
}

TEST(ManagerTest, SkinFolderIsBesideTheProcessExecutable) {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring drive(windows, 3);  // "C:\"
    std::wstring folder = drive + L"TesselSkinApp\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_EQ(SkinFolderOfExecutableAt(folder + L"Calidra.exe"), folder + L"skins\\theme1\\");
    ::RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(SkinFolderOfExecutableAt(drive + L"TesselSkinRoot.exe"), drive + L"skins\\theme1\\");

    // In this process: the test executable's own folder.
    EXPECT_EQ(Manager::GetAppFolder(), testing_support::TestDir().c_str());
    EXPECT_EQ(Manager::GetSkinFolder(), (testing_support::TestDir() + L"skins\\theme1\\").c_str());
}

TEST(ManagerTest, LibraryCarriesItsImagesAndFontWithLanguage2052) {
    ASSERT_NE(g_hLibModule, nullptr);
    EXPECT_EQ(g_hLibModule, ::GetModuleHandleW(L"Tessel.dll"));
    const WORD lang = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    ASSERT_EQ(lang, 2052);
    for (const wchar_t* type : {L"PNG", L"png"}) {
        for (WORD id : {101, 102}) {
            HRSRC res = ::FindResourceExW(g_hLibModule, type, MAKEINTRESOURCEW(id), lang);
            ASSERT_NE(res, nullptr) << id;
            const auto* bytes =
                static_cast<const unsigned char*>(::LockResource(::LoadResource(g_hLibModule, res)));
            ASSERT_NE(bytes, nullptr);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes) + 1, 3), "PNG");
        }
    }
    for (const wchar_t* type : {L"ttf", L"TTF"}) {
        HRSRC res = ::FindResourceExW(g_hLibModule, type, MAKEINTRESOURCEW(106), lang);
        ASSERT_NE(res, nullptr);
        EXPECT_GT(::SizeofResource(g_hLibModule, res), 10000u);
    }
    // Installed from memory, it is the family the paint engines ask for.
    HRSRC res = ::FindResourceW(g_hLibModule, MAKEINTRESOURCEW(106), L"ttf");
    void* data = ::LockResource(::LoadResource(g_hLibModule, res));
    DWORD count = 0;
    const UniqueFontRegistration font(
        ::AddFontMemResourceEx(data, ::SizeofResource(g_hLibModule, res), nullptr, &count));
    ASSERT_TRUE(font);
    EXPECT_EQ(count, 1u);
    LOGFONTW lf{};
    wcscpy_s(lf.lfFaceName, L"Open Sans Semibold");
    const UniqueFont hfont(::CreateFontIndirectW(&lf));
    const UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    const SelectionScope selected(dc.get(), hfont.get());
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc.get(), LF_FACESIZE, face);
    EXPECT_STREQ(face, L"Open Sans Semibold");
}

// Counts the messages it receives.
LRESULT CALLBACK CountingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_USER) {
        ++*reinterpret_cast<int*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
        return 0;
    }
    return ::DefWindowProcW(h, msg, w, l);
}

HWND CreateCountingWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TesselCountingWindow";
    ::RegisterClassW(&wc);
    return ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance,
                             nullptr);
}

TEST(ManagerTest, MessageLoopDispatchesUntilQuit) {
    const UniqueWindow window(CreateCountingWindow());
    ASSERT_TRUE(window);
    HWND h = window.get();
    int count = 0;
    ::SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count));
    ::PostMessageW(h, WM_USER, 0, 0);
    ::PostMessageW(h, WM_USER, 0, 0);
    ::PostQuitMessage(0);
    // Alt and F4 are not held here, so nothing is dropped.
    EXPECT_FALSE(Manager::PreTranslateMessage(nullptr));
    Manager::MessageLoop();
    EXPECT_EQ(count, 2);
}

void PressKeys(std::initializer_list<WORD> keys, bool down) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key;
        in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

TEST(ManagerTest, WhileAltAndF4AreHeldTheLoopDropsEveryMessage) {
    // Our own window takes the foreground so the injected keys land in this process and nowhere else.
    const UniqueWindow frontWindow(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10,
                                                     nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(frontWindow);
    ::SetForegroundWindow(frontWindow.get());
    const UniqueWindow counterWindow(CreateCountingWindow());
    ASSERT_TRUE(counterWindow);
    HWND counter = counterWindow.get();
    int count = 0;
    ::SetWindowLongPtrW(counter, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count));

    PressKeys({VK_MENU, VK_F4}, true);
    const BOOL held = Manager::PreTranslateMessage(nullptr);
    ::PostMessageW(counter, WM_USER, 0, 0);
    ::PostQuitMessage(0);
    Manager::MessageLoop();
    PressKeys({VK_F4, VK_MENU}, false);
    EXPECT_TRUE(held);
    EXPECT_EQ(count, 0);

    EXPECT_FALSE(Manager::PreTranslateMessage(nullptr));
    ::PostMessageW(counter, WM_USER, 0, 0);
    ::PostQuitMessage(0);
    Manager::MessageLoop();
    EXPECT_EQ(count, 1);
}

TEST(ManagerTest, InitGdiplusStartsGdiplusAndComUntilUnInit) {
    Manager::InitGdiplus();
    EXPECT_NE(Manager::m_gdiplusToken, 0u);
    {
        Gdiplus::Bitmap bitmap(4, 4, PixelFormat32bppARGB);
        EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);
    }
    // COM is already initialised on this thread: a second CoInitialize answers S_FALSE.
    EXPECT_EQ(::CoInitialize(nullptr), S_FALSE);
    ::CoUninitialize();
    Manager::UnInitGdiplus();
    EXPECT_EQ(::CoInitialize(nullptr), S_OK);
    ::CoUninitialize();
}

}  // namespace
