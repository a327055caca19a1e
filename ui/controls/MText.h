#pragma once

#include "controls/MControlFont.h"

namespace Tessel {

// A caption drawn with GDI+ over whatever lies beneath. It starts disabled, so it never takes a press.
class TESSEL_API MText : public MControlFont {
  public:
    MText(MObject* parent, UINT id, CRect rect, const wchar_t* text, int visible);
    ~MText() override;

    void EnableMultiLine(int on) noexcept { m_bMultiLine = on; }
    void EnableVCenter(int on) noexcept { m_bVCenter = on; }
    void EnableShadow(int on) noexcept { m_bShadow = on; }
    // The colour is taken only when the flag changes; the text is redrawn in every case.
    void EnableTextBack(int on, Gdiplus::Color colour);
    // The mark is kept for derived texts; the basic text does not draw it. A null first text is refused.
    void SetMarkText(const wchar_t* mark);
    void SetMarkText(const wchar_t* mark, Gdiplus::Color colour, int option);
    void SetMarkText(const wchar_t* title, const wchar_t* mark, Gdiplus::Color colour, int option);
    void SetTitleMarkText(const wchar_t* title, const wchar_t* mark, int option);
    [[nodiscard]] const CString& GetMarkText() const noexcept { return m_strMark; }
    [[nodiscard]] int GetVirtualHeight() const noexcept { return 0; }
    void EnableScrollBar(int on, int width) noexcept;

    void DrawControl(HDC& dc, CRect clip) override;
    LRESULT OnBaseMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnMessage(UINT id, UINT code, WPARAM wParam, LPARAM lParam) override;

  protected:
    void SetControlRect(CRect rect) override;
    int OnControlScroll(int delta, UINT flags, CPoint pt) override;

  private:
    int m_bScrollBar = 0;
    int m_nScrollBarWidth = 8;
    int m_bShadow = 0;
    int m_bTextBack = 0;
    Gdiplus::ARGB m_textBackColor = 0xFF008000;
    Gdiplus::ARGB m_shadowColor = 0xFF505050;
    Gdiplus::ARGB m_markColor = 0xFFED801B;
    CString m_strMark;
    int m_nMarkOption = 0;
    int m_bMultiLine = 0;
    int m_bVCenter = 0;
};

}  // namespace Tessel
