#pragma once

// The paint engine of one native window, as far as controls see it: the host window, the focus control, the
// tool tip, the master-timer list, and the image and font caches that controls draw from. Painting and the
// turning of window messages into control input build on this.

#include "core/RecursiveLock.h"
#include "core/TesselApi.h"
#include "core/Types.h"

#include <windows.h>
#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tessel {

class MControl;
class MWindow;

// One cached skin image: an image strip of `frames` equal states laid side by side.
struct ImgResInfo {
    std::unique_ptr<Gdiplus::Image> image;  // owned
    int frameWidth = 0;
    int height = 0;
    int frames = 0;
    CString name;
    UINT resourceId = 0;
    Microsoft::WRL::ComPtr<IStream> stream;  // backs an image decoded from a resource
};

class TESSEL_API PaintManager {
  public:
    PaintManager() noexcept;
    ~PaintManager();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    // Binds the engine to its window; a null or dead handle is ignored.
    void Init(HWND hwnd, MWindow* owner) noexcept;
    [[nodiscard]] HWND GetPaintWnd() const noexcept { return m_hPaintWnd; }
    [[nodiscard]] MWindow* GetMDialog() const noexcept { return m_pOwner; }  // not owned

    // A layered window is repainted as a whole (per-pixel alpha through UpdateLayeredWindow).
    void SetLayeredWindow(BOOL layered) noexcept { m_bLayered = layered; }
    [[nodiscard]] BOOL IsLayeredWindow() const noexcept { return m_bLayered; }

    // The old focus control loses its focus, the new one gains it.
    void SetFocusControl(MControl* control);
    [[nodiscard]] MControl* GetFocusControl() const noexcept { return m_pFocus; }

    // One tool tip per window, shown over the whole client area; the rectangle is not used.
    void SetTooltip(const wchar_t* text, CRect rect) noexcept;
    void ClearTooltip() noexcept;
    // Id of the control whose tip is shown, so that moving within it does not show the tip again.
    void SetTooltipCtrlID(int id) noexcept { m_nTooltipCtrlID = id; }
    [[nodiscard]] int GetTooltipCtrlID() const noexcept { return m_nTooltipCtrlID; }
    [[nodiscard]] HWND GetTooltipWnd() const noexcept { return m_hTooltip.get(); }

    // Controls ticked by the master timer; not owned.
    BOOL AddMTimer(MControl* control);
    [[nodiscard]] const std::vector<MControl*>& GetMTimerControls() const noexcept {
        return m_mtimerControls;
    }

    // Skin images, loaded once per name (relative to the skin folder) or resource id; null when the image
    // cannot be had, and a later call tries again.
    ImgResInfo* AddImgResInfo(const wchar_t* name, int frames);
    ImgResInfo* AddImgResInfo(UINT resourceId, CString type, int frames, BOOL fromApplication);

    // Font family by face name from the installed and privately registered fonts; null when unknown.
    Gdiplus::FontFamily* FindTempFont(const wchar_t* name);

  private:
    void SetToolText(const wchar_t* text, BOOL activate) noexcept;

    struct ReleaseWindow {
        using pointer = HWND;
        void operator()(HWND h) const noexcept { ::DestroyWindow(h); }
    };

    MWindow* m_pOwner = nullptr;  // not owned
    HWND m_hPaintWnd = nullptr;
    BOOL m_bLayered = FALSE;
    MControl* m_pFocus = nullptr;  // not owned
    int m_nTooltipCtrlID = 0;
    std::unique_ptr<HWND, ReleaseWindow> m_hTooltip;
    std::vector<MControl*> m_mtimerControls;  // not owned
    std::map<std::wstring, std::unique_ptr<ImgResInfo>> m_imagesByName;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByAppId;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByLibId;
    std::map<std::wstring, std::unique_ptr<Gdiplus::FontFamily>> m_fonts;
    RecursiveLock m_imageLock;
    RecursiveLock m_fontLock;
};

}  // namespace Tessel
