#include "shell/MessageBox.h"

#include "controls/MButton.h"
#include "controls/MText.h"

#include <memory>

namespace {

constexpr UINT kTitleId = 31;
constexpr UINT kMessageId = 32;
constexpr UINT kFirstButtonId = 33;
constexpr UINT kSecondButtonId = 34;
constexpr UINT kEventClick = 2;

const Gdiplus::Color kTextColor(0xFF141414);

void StyleButton(Tessel::MControl* control) {
    if (auto* button = static_cast<Tessel::MButton*>(control)) {
        button->SetImage(L"img_button.png", 4);
        button->SetTextColor(kTextColor);
    }
}

}  // namespace

void CUIMessageBox::SetContent(const wchar_t* message, const wchar_t* title, int type) {
    message_ = message ? message : L"";
    title_ = title ? title : L"";
    type_ = type;
}

BOOL CUIMessageBox::OnInitDialog() {
    MDialog::OnInitDialog();
    ::SetWindowPos(GetSafeHwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return TRUE;
}

void CUIMessageBox::InitUI(CRect client) {
    if (auto* title = static_cast<Tessel::MText*>(
            CreateArea(L"MText", kTitleId, CRect(20, 15, client.right - 20, 40), title_, 1, 1))) {
        title->SetAlignment(1);
        title->SetTextColor(kTextColor);
    }
    const int mid = (client.bottom - client.top) / 2;
    if (auto* message = static_cast<Tessel::MText*>(CreateArea(
            L"MText", kMessageId, CRect(20, mid - 30, client.right - 20, mid + 30), message_, 1, 1))) {
        message->SetVAlignment(4);
        message->SetAlignment(1);
        message->EnableMultiLine(TRUE);
        message->EnableVCenter(TRUE);
        message->SetTextColor(kTextColor);
    }
    if (type_ == MB_OK) {
        StyleButton(CreateControl(L"MButton", kFirstButtonId,
                                  CRect(60, client.bottom - 40, client.right - 60, client.bottom - 10), L"OK",
                                  1, 1));
    } else if (type_ == MB_YESNO) {
        const int cx = (client.right - client.left) / 2;
        StyleButton(CreateControl(L"MButton", kFirstButtonId,
                                  CRect(cx - 120, client.bottom - 40, cx - 20, client.bottom - 10), L"YES", 1,
                                  1));
        StyleButton(CreateControl(L"MButton", kSecondButtonId,
                                  CRect(cx + 20, client.bottom - 40, cx + 120, client.bottom - 10), L"NO", 1,
                                  1));
    }
}

void CUIMessageBox::UISize(CRect) {}

LRESULT CUIMessageBox::OnMessage(UINT id, UINT event, WPARAM, LPARAM) {
    if (event != kEventClick) {
        return 0;
    }
    if (id == kFirstButtonId) {
        DoOK();
        return 1;
    }
    if (id == kSecondButtonId) {
        DoCancel();
        return 1;
    }
    return 0;
}

BOOL CUIMessageBox::OnDestroy() {
    return 0;
}

UINT ShowMessageBox(const wchar_t* message, const wchar_t* title, int type) {
    auto box = std::make_unique<CUIMessageBox>();
    box->SetContent(message, title, type);
    box->SetBackMode(Tessel::enumBackMode(1), 30);
    box->Create(nullptr, L"MessageBox", WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                WS_EX_TOOLWINDOW, CRect(0, 0, 380, 200));
    box->CenterWindow(nullptr);
    return box->ShowModal(SW_SHOWNORMAL);
}
