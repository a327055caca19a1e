#pragma once

// A dialog for tests: hidden by default, records what reaches its handlers.

#include "ProbeControl.h"

#include "controls/MControl.h"
#include "core/MDialog.h"
#include "core/Manager.h"

#include <gtest/gtest.h>

#include <vector>

namespace testing_support {

// The dialog tests' fixture: the library set up once for the suite.
class DialogFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Tessel::Manager::SetInstance(::GetModuleHandleW(nullptr));
        Tessel::Manager::InitGdiplus();
    }
};

class TestDialog : public Tessel::MDialog {
  public:
    HWND CreateHidden(DWORD style = WS_POPUP, CRect rect = CRect(100, 100, 400, 300)) {
        return Create(nullptr, L"Tessel test dialog", style, WS_EX_TOOLWINDOW, rect);
    }

    LRESULT OnMessage(UINT id, UINT event, WPARAM wParam, LPARAM lParam) override {
        notices.push_back({id, event, wParam, lParam});
        return 0;
    }
    void InitUI(CRect client) override { initClients.push_back(client); }
    void UISize(CRect client) override { sizeClients.push_back(client); }
    void OnTimer(UINT id) override { timerIds.push_back(id); }
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        // The system's move loop would wait for the real mouse: record the request instead of entering it.
        if (msg == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
            moveRequests.push_back(
                CPoint(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))));
            return 0;
        }
        if (msg == STM_SETIMAGE) {
            BITMAP info{};
            if (::GetObjectW(reinterpret_cast<HBITMAP>(lParam), sizeof(info), &info) != 0)
                droppedSizes.push_back(CSize(info.bmWidth, info.bmHeight));
            return 0;
        }
        if (msg == WM_LBUTTONUP)
            ++lbuttonUps;
        return MDialog::OnWindowMessage(msg, wParam, lParam);
    }

    int Count(UINT event) const {
        int n = 0;
        for (const Notice& notice : notices)
            n += notice.code == event ? 1 : 0;
        return n;
    }

    std::vector<Notice> notices;
    std::vector<CRect> initClients;
    std::vector<CRect> sizeClients;
    std::vector<UINT> timerIds;
    std::vector<CPoint> moveRequests;
    std::vector<CSize> droppedSizes;
    int lbuttonUps = 0;
};

inline LRESULT SendMouse(HWND hwnd, UINT msg, WPARAM flags, int x, int y) {
    return ::SendMessageW(hwnd, msg, flags, MAKELPARAM(x, y));
}

}  // namespace testing_support
