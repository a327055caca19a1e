#include "shell/Startup.h"

#include "win/Handle.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr wchar_t kTitle[] = L"Kelvaro-DIG";

TEST(DpiDecision, OnlySmallScreensMakeTheProcessDpiAware) {
    EXPECT_TRUE(ShouldBecomeDpiAware(1366, 768));
    EXPECT_TRUE(ShouldBecomeDpiAware(1280, 720));  // 1920 x 1080 at 150 %
    EXPECT_TRUE(ShouldBecomeDpiAware(1399, 1200));
    EXPECT_TRUE(ShouldBecomeDpiAware(2560, 799));
    EXPECT_FALSE(ShouldBecomeDpiAware(1920, 1080));
    EXPECT_FALSE(ShouldBecomeDpiAware(1400, 800));
}

// A window that looks like a running instance's main window: hidden, marked with the property.
class FakeFirstInstance {
  public:
    FakeFirstInstance() {
        mutex_.reset(::CreateMutexW(nullptr, TRUE, kTitle));
        wnd_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", kTitle, WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
        ::SetPropW(wnd_, kTitle, reinterpret_cast<HANDLE>(1));
    }
    ~FakeFirstInstance() {
        ::RemovePropW(wnd_, kTitle);
        ::DestroyWindow(wnd_);
        ::ReleaseMutex(mutex_.get());
    }
    HWND window() const { return wnd_; }

  private:
    UniqueHandle mutex_;
    HWND wnd_;
};

TEST(SingleInstance, FindsTheMarkedWindowAndRefusesASecondClaim) {
    FakeFirstInstance first;
    EXPECT_EQ(FindRunningInstanceWindow(), first.window());

    // Another thread claims: it must see the existing mutex (a mutex is re-entrant on its own thread).
    bool claimed = true;
    HANDLE held = reinterpret_cast<HANDLE>(1);
    std::thread([&] { claimed = ClaimSingleInstance(&held); }).join();
    EXPECT_FALSE(claimed);
    EXPECT_EQ(held, nullptr);
}

TEST(SingleInstance, NoMarkedWindowIsFoundWhenNoneRuns) {
    EXPECT_EQ(FindRunningInstanceWindow(), nullptr);
}

}  // namespace
