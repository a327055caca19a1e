#pragma once

// A message-only window that stands in for the main window of the program: code under test posts to it, and
// the test takes what arrived from the thread's queue.

#include "win/Handle.h"

#include <windows.h>

#include <utility>
#include <vector>

namespace testing_support {

class MessageSink {
  public:
    MessageSink()
        : window_(
              ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}

    [[nodiscard]] HWND hwnd() const { return window_.get(); }

    // (wParam, lParam) of every message number posted so far, oldest first; they leave the queue.
    std::vector<std::pair<WPARAM, LPARAM>> Take(UINT message) {
        std::vector<std::pair<WPARAM, LPARAM>> taken;
        MSG msg;
        while (::PeekMessageW(&msg, window_.get(), message, message, PM_REMOVE)) {
            taken.emplace_back(msg.wParam, msg.lParam);
        }
        return taken;
    }

  private:
    UniqueWindow window_;
};

}  // namespace testing_support
