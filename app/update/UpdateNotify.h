#pragma once

// Where the update work's news goes: a kUpdateResultMessage or kDownloadProgressMessage with its parameters.
// In the program the window gets them as posted messages; in the update job process (UpdateJobMain.cpp) they
// become lines on the pipe to the program.

#include <windows.h>

#include <functional>

using UpdateNotify = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

// Posts each message to window; nothing if window is null.
[[nodiscard]] inline UpdateNotify PostTo(HWND window) {
    if (!window) {
        return {};
    }
    return [window](UINT message, WPARAM wParam, LPARAM lParam) {
        ::PostMessageW(window, message, wParam, lParam);
    };
}
