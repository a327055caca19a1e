#include "core/PaintManager.h"

#include "controls/MControl.h"
#include "core/Manager.h"

#include <commctrl.h>
#include <shlwapi.h>

namespace Tessel {

namespace {

constexpr UINT kTooltipToolId = 1313;

std::unique_ptr<ImgResInfo> MakeRecord(std::unique_ptr<Gdiplus::Image> image, int frames) {
    if (!image || image->GetLastStatus() != Gdiplus::Ok || image->GetWidth() == 0)
        return nullptr;
    auto info = std::make_unique<ImgResInfo>();
    info->frames = frames;
    info->frameWidth = frames > 0 ? static_cast<int>(image->GetWidth()) / frames : 0;
    info->height = static_cast<int>(image->GetHeight());
    info->image = std::move(image);
    return info;
}

}  // namespace

PaintManager::PaintManager() noexcept = default;

PaintManager::~PaintManager() = default;

void PaintManager::Init(HWND hwnd, MWindow* owner) noexcept {
    if (hwnd == nullptr || !::IsWindow(hwnd))
        return;
    m_hPaintWnd = hwnd;
    m_pOwner = owner;
}

void PaintManager::SetFocusControl(MControl* control) {
    if (control == m_pFocus)
        return;
    MControl* old = m_pFocus;
    m_pFocus = control;
    if (old != nullptr)
        old->SetControlFocus(FALSE);
    if (control != nullptr)
        control->SetControlFocus(TRUE);
}

void PaintManager::SetTooltip(const wchar_t* text, CRect) noexcept {
    if (text == nullptr || *text == L'\0') {
        SetToolText(L"", FALSE);
        return;
    }
    if (!m_hTooltip) {
        if (m_hPaintWnd == nullptr)
            return;
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&icc);
        m_hTooltip.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, TOOLTIPS_CLASSW,
                                           WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hPaintWnd, nullptr,
                                           ::GetModuleHandleW(nullptr), nullptr));
        if (!m_hTooltip)
            return;
        ::SendMessageW(m_hTooltip.get(), TTM_SETMAXTIPWIDTH, 0, 256);
        ::SendMessageW(m_hTooltip.get(), TTM_SETTIPTEXTCOLOR, 0xFFFFFF, 0);
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_PARSELINKS;
        tool.hwnd = m_hPaintWnd;
        tool.uId = kTooltipToolId;
        ::GetClientRect(m_hPaintWnd, &tool.rect);
        tool.lpszText = const_cast<wchar_t*>(L"");
        ::SendMessageW(m_hTooltip.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        if (::GetACP() == 936) {
            RECT margin = {2, 3, 0, 0};
            ::SendMessageW(m_hTooltip.get(), TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
        }
    }
    SetToolText(text, TRUE);
}

void PaintManager::SetToolText(const wchar_t* text, BOOL activate) noexcept {
    if (!m_hTooltip)
        return;
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_PARSELINKS | TTF_ABSOLUTE | TTF_TRACK;
    tool.hwnd = m_hPaintWnd;
    tool.uId = kTooltipToolId;
    tool.lpszText = const_cast<wchar_t*>(text);
    ::SendMessageW(m_hTooltip.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(m_hTooltip.get(), TTM_ACTIVATE, activate, 0);
}

void PaintManager::ClearTooltip() noexcept {
    if (!m_hTooltip)
        return;
    SetToolText(L"", FALSE);
    m_nTooltipCtrlID = 0;
}

BOOL PaintManager::AddMTimer(MControl* control) {
    m_mtimerControls.push_back(control);
    return TRUE;
}

ImgResInfo* PaintManager::AddImgResInfo(const wchar_t* name, int frames) {
    if (name == nullptr || *name == L'\0' || frames <= 0)
        return nullptr;
    LockGuard guard(m_imageLock);
    if (auto it = m_imagesByName.find(name); it != m_imagesByName.end())
        return it->second.get();
    CString path = Manager::GetSkinFolder() + name;
    auto info = MakeRecord(std::unique_ptr<Gdiplus::Image>(Gdiplus::Image::FromFile(path)), frames);
    if (!info)
        return nullptr;
    info->name = name;
    return m_imagesByName.emplace(name, std::move(info)).first->second.get();
}

ImgResInfo* PaintManager::AddImgResInfo(UINT resourceId, CString type, int frames, BOOL fromApplication) {
    if (frames <= 0 || type.IsEmpty())
        return nullptr;
    LockGuard guard(m_imageLock);
    auto& cache = fromApplication ? m_imagesByAppId : m_imagesByLibId;
    if (auto it = cache.find(resourceId); it != cache.end())
        return it->second.get();
    HMODULE module = fromApplication ? Manager::GetInstance() : g_hLibModule;
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), type);
    if (res == nullptr)
        return nullptr;
    HGLOBAL loaded = ::LoadResource(module, res);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    DWORD size = ::SizeofResource(module, res);
    if (bytes == nullptr || size == 0)
        return nullptr;
    Microsoft::WRL::ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(static_cast<const BYTE*>(bytes), size));
    if (!stream)
        return nullptr;
    auto info = MakeRecord(std::unique_ptr<Gdiplus::Image>(Gdiplus::Image::FromStream(stream.Get())), frames);
    if (!info)
        return nullptr;
    info->resourceId = resourceId;
    info->stream = std::move(stream);
    return cache.emplace(resourceId, std::move(info)).first->second.get();
}

Gdiplus::FontFamily* PaintManager::FindTempFont(const wchar_t* name) {
    if (name == nullptr || *name == L'\0')
        return nullptr;
    LockGuard guard(m_fontLock);
    if (auto it = m_fonts.find(name); it != m_fonts.end())
        return it->second.get();
    auto family = std::make_unique<Gdiplus::FontFamily>(name);
    if (family->GetLastStatus() != Gdiplus::Ok || !family->IsAvailable())
        return nullptr;
    return m_fonts.emplace(name, std::move(family)).first->second.get();
}

}  // namespace Tessel
