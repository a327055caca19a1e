#pragma once

#include "controls/MControl.h"
#include "core/ImageCache.h"
#include "core/TesselApi.h"
#include "core/Types.h"
#include "win/Handle.h"

#include <memory>

namespace Tessel {

// Base of every control with a caption or a skin image: title, font, text colour and brush, alignment,
// rendering hint and one image strip from the engine's image cache. Derived controls draw with these.
class TESSEL_API MControlFont : public MControl {
  public:
    MControlFont(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible, int enabled,
                 int response);
    MControlFont(const MControlFont&) = delete;
    MControlFont& operator=(const MControlFont&) = delete;
    ~MControlFont() override;

    virtual void SetTextFont(CString face);
    virtual void SetTextColor(Gdiplus::Color colour);
    // An image strip of `count` frames from the application's resources, or from the skin folder by name.
    // 1 on success; 0 without an engine or image, and the previous image stays.
    virtual int SetImage(UINT resourceId, CString resourceType, int count);
    virtual int SetImage(const wchar_t* fileName, int count);

    void SetTitle(const wchar_t* text);
    [[nodiscard]] CString GetTitle() { return GetControlTitle(); }

    // Horizontal 0 left, 1 centre, 2 right; vertical 0 top, 4 middle, 8 bottom. Other values are kept as
    // given.
    void SetAlignment(UINT horizontal);
    void SetVAlignment(UINT vertical);
    void SetAlignment(UINT horizontal, UINT vertical);
    void GetAlignment(UINT& horizontal, UINT& vertical) const noexcept;

    // None of the font setters repaints or drops the GDI font; the caller repaints.
    void SetFont(const wchar_t* face, int size, Gdiplus::FontStyle style);
    void SetFontWidth(int size) noexcept { m_nFontWidth = size; }
    [[nodiscard]] int GetFontWidth() const noexcept { return m_nFontWidth; }
    void SetFontStyle(Gdiplus::FontStyle style) noexcept { m_fontStyle = style; }
    [[nodiscard]] Gdiplus::FontStyle GetFontStyle() const noexcept { return m_fontStyle; }
    [[nodiscard]] CString GetTextFont() const { return m_strFaceName; }
    void SetTextRenderingHint(Gdiplus::TextRenderingHint hint) noexcept { m_renderingHint = hint; }
    [[nodiscard]] Gdiplus::TextRenderingHint GetTextRenderingHint() const noexcept { return m_renderingHint; }
    [[nodiscard]] Gdiplus::ARGB GetTextColor() const noexcept { return m_textColor; }
    // Null when the brush could not be created; text is then not drawn.
    [[nodiscard]] Gdiplus::SolidBrush* GetTextBrush() const noexcept { return m_pTextBrush.get(); }

    // The family of `face` from the engine's font table, kept by the control until the next call; null
    // without an engine or when the family is unknown.
    Gdiplus::FontFamily* GetFontFamily(const wchar_t* face);
    // A GDI font after the default GUI font with the library's face, this control's size and style; cached.
    HFONT GetGDIFont();
    void ClearGDIFont() noexcept { m_hFont.reset(); }

    void SetImageCount(int count) noexcept { m_nImageCount = count; }
    [[nodiscard]] int GetImageCount() const noexcept { return m_nImageCount; }
    [[nodiscard]] Gdiplus::Image* GetImage() const noexcept { return m_pImage; }
    [[nodiscard]] CSize GetImageSize() const noexcept { return CSize(m_nFrameWidth, m_nImageHeight); }
    [[nodiscard]] CString GetImagePath() const { return m_strImagePath; }

    // Text drawing: the em size in pixels is the font size times the scale factor, truncated.
    [[nodiscard]] static float ScaledFontSize(int size, float scale) noexcept;
    // The GDI+ font for drawing the title (family of the face name, scaled size, style); null when the family
    // is unknown.
    [[nodiscard]] std::unique_ptr<Gdiplus::Font> CreateTextFont();
    // String and line alignment after the stored alignment values.
    void GetStringFormat(Gdiplus::StringFormat& format) const;

  protected:
    virtual void SetControlTitle(const wchar_t* text);
    virtual CString GetControlTitle();

    CString m_strTitle;
    CString m_strFaceName;
    CString m_strImagePath;
    int m_nFontWidth;
    Gdiplus::ARGB m_textColor = 0xFFFFFFFF;
    std::unique_ptr<Gdiplus::SolidBrush> m_pTextBrush;
    Gdiplus::FontStyle m_fontStyle = Gdiplus::FontStyleRegular;
    std::unique_ptr<Gdiplus::FontFamily> m_pFontFamily;
    UINT m_uAlignment = 0;
    UINT m_uVAlignment = 4;
    Gdiplus::TextRenderingHint m_renderingHint = Gdiplus::TextRenderingHintClearTypeGridFit;
    UniqueFont m_hFont;
    Gdiplus::Image* m_pImage = nullptr;  // owned by the engine's image cache
    int m_nFrameWidth = 0;
    int m_nImageHeight = 0;
    int m_nImageCount = 4;

  private:
    void ApplyImage(const ImgResInfo* info, int count);
};

}  // namespace Tessel
