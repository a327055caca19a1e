#pragma once

#include "controls/MControlFont.h"

#include <memory>

namespace Tessel {

// A skinned push button. Its cache holds the four states side by side (normal, hover, pressed, disabled),
// so hover and press only pick another quarter. Notifies kNotifyPressed on a press and kNotifyClicked on a
// click.
class TESSEL_API MButton : public MControlFont {
  public:
    enum State : int { StateNormal = 0, StateHover = 1, StatePressed = 2, StateDisabled = 3 };

    MButton(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible, int enabled);
    ~MButton() override;

    void SetFrameSize(int size) noexcept { m_nFrameSize = size; }
    [[nodiscard]] int GetFrameSize() const noexcept { return m_nFrameSize; }
    // Caption rectangle relative to the button; empty means the whole button.
    void SetTextRect(CRect rect) noexcept { m_rcText = rect; }
    // An icon strip kept for derived buttons; 1 when loaded.
    int SetIconImage(const wchar_t* fileName, int count);
    [[nodiscard]] Gdiplus::Image* GetIconImage() const noexcept { return m_pIcon.get(); }
    [[nodiscard]] CSize GetIconSize() const noexcept { return CSize(m_nIconWidth, m_nIconHeight); }
    [[nodiscard]] int GetState() const noexcept { return m_nState; }

    void DrawControl(HDC& dc, CRect clip) override;

  protected:
    void SetControlEnabled(int enabled) override;
    int OnControlMouseMove(UINT flags, CPoint pt) override;
    int OnControlLButtonDown(UINT flags, CPoint pt) override;
    int OnControlLButtonUp(UINT flags, CPoint pt) override;

  private:
    // Moves to `state`; 1 and a repaint request when it changed.
    int ChangeState(int state);

    int m_nState = StateNormal;
    int m_nFrameSize = 8;
    std::unique_ptr<Gdiplus::Image> m_pIcon;
    int m_nIconWidth = 0;
    int m_nIconHeight = 0;
    int m_nIconCount = 4;
    CRect m_rcIcon;
    CRect m_rcText;
};

}  // namespace Tessel
