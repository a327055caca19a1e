#pragma once

// The program's own message box: a small topmost skinned window with a title, a wrapped message and either
// one "OK" button or a "YES" / "NO" pair. The only way the program asks the user anything.

#include "core/MDialog.h"
#include "core/Types.h"

class CUIMessageBox : public Tessel::MDialog {
  public:
    CUIMessageBox() noexcept = default;
    ~CUIMessageBox() override = default;

    void SetContent(const wchar_t* message, const wchar_t* title, int type);

    BOOL OnInitDialog() override;
    void InitUI(CRect client) override;
    void UISize(CRect client) override;
    LRESULT OnMessage(UINT id, UINT event, WPARAM wParam, LPARAM lParam) override;
    BOOL OnDestroy() override;

  private:
    CString title_;
    CString message_;
    int type_ = MB_OK;
};

// Shows the box modally on the calling thread. type: MB_OK (0) or MB_YESNO (4); null texts count as empty.
// Returns 1 for "OK" or "YES", 2 for "NO", 0 when the box was closed any other way (Alt+F4).
UINT ShowMessageBox(const wchar_t* message, const wchar_t* title, int type);
