#include "core/PaintManager.h"

#include "controls/ControlFactory.h"
#include "controls/MControl.h"
#include "controls/MRender.h"
#include "core/Manager.h"
#include "res/TesselResources.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>

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

// A library resource's bytes; they live as long as the library is loaded.
bool FindLibraryResource(UINT id, const wchar_t* type, const void*& data, DWORD& size) noexcept {
    HRSRC res = ::FindResourceW(g_hLibModule, MAKEINTRESOURCEW(id), type);
    if (res == nullptr)
        return false;
    HGLOBAL loaded = ::LoadResource(g_hLibModule, res);
    data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    size = ::SizeofResource(g_hLibModule, res);
    return data != nullptr && size != 0;
}

void DeleteAll(std::vector<MControl*>& list, RecursiveLock& lock) {
    LockGuard guard(lock);
    std::vector<MControl*> doomed;
    doomed.swap(list);
    for (MControl* control : doomed)
        delete control;
}

}  // namespace

PaintManager::PaintManager() noexcept = default;

PaintManager::~PaintManager() {
    DestroyData();
    // Controls created before Init (or after DestroyData) still belong to the engine.
    ClearAllControls();
    ClearImgResInfo();
    ClearTempFont();
}

void PaintManager::Init(HWND hwnd, MWindow* owner) noexcept {
    if (hwnd == nullptr || !::IsWindow(hwnd))
        return;
    if (hwnd != m_hPaintWnd) {
        if (m_hPaintDC != nullptr)
            ::ReleaseDC(m_hPaintWnd, m_hPaintDC);
        m_hPaintWnd = hwnd;
        m_hPaintDC = ::GetDC(hwnd);
    }
    m_pOwner = owner;
    InitDragDrop();
    m_bInit = TRUE;
    m_nScrollVID = IDR_SCROLL_V_IMAGE;
    m_nScrollHID = IDR_SCROLL_H_IMAGE;
    AddGDITempFont(kLibraryFontId);
}

void PaintManager::DestroyData() {
    if (!m_bInit)
        return;
    m_pBkImage.reset();
    m_nBkWidth = 0;
    m_nBkHeight = 0;
    if (m_hPaintDC != nullptr)
        ::ReleaseDC(m_hPaintWnd, m_hPaintDC);
    m_hPaintDC = nullptr;
    KillMTimer();
    ClearTimers();
    ClearAreaControls();
    ClearControls();
    ClearImgResInfo();
    ClearTempFont();
    ReleasePaintSurface();
    m_bInit = FALSE;
}

MControl* PaintManager::CreateControl(UINT list, MObject* parent, const wchar_t* className, UINT id,
                                      CRect rect, const wchar_t* text, int a, int b) {
    MControl* control = CreateControlByName(parent, className, id, rect, text, a, b);
    if (control == nullptr)
        return nullptr;
    control->SetManager(this);
    if (list == 0) {
        LockGuard guard(m_areaLock);
        m_areas.push_back(control);
    } else if (list == 1) {
        LockGuard guard(m_controlLock);
        m_controls.push_back(control);
    }
    return control;
}

MControl* PaintManager::CreateArea(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                   const wchar_t* text, int a, int b) {
    return CreateControl(0, parent, className, id, rect, text, a, b);
}

MControl* PaintManager::CreateControl(MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                      const wchar_t* text, int a, int b) {
    return CreateControl(1, parent, className, id, rect, text, a, b);
}

MControl* PaintManager::GetControl(UINT id) {
    for (auto* list : {&m_controls, &m_areas}) {
        for (MControl* control : *list) {
            if (control->GetControlID() == id)
                return control;
            if (MControl* found = control->GetControl(id))
                return found;
        }
    }
    return nullptr;
}

void PaintManager::RemoveControl(MControl* control) {
    if (control == nullptr)
        return;
    LockGuard guard(m_controlLock);
    auto it = std::find(m_controls.begin(), m_controls.end(), control);
    if (it == m_controls.end())
        return;
    m_controls.erase(it);
    delete control;
}

void PaintManager::ClearAreaControls() {
    DeleteAll(m_areas, m_areaLock);
}

void PaintManager::ClearControls() {
    DeleteAll(m_controls, m_controlLock);
}

void PaintManager::ClearAllControls() {
    ClearAreaControls();
    ClearControls();
}

void PaintManager::RemoveMTimer(MControl* control) {
    LockGuard guard(m_mtimerLock);
    m_mtimerControls.erase(std::remove(m_mtimerControls.begin(), m_mtimerControls.end(), control),
                           m_mtimerControls.end());
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
    LockGuard guard(m_mtimerLock);
    m_mtimerControls.push_back(control);
    return TRUE;
}

ImgResInfo* PaintManager::AddImgResInfo(const wchar_t* name, int frames) {
    if (name == nullptr || *name == L'\0' || frames <= 0)
        return nullptr;
    LockGuard guard(m_imageLock);
    if (auto it = m_imagesByName.find(name); it != m_imagesByName.end())
        return it->second.get();
    auto info = MakeRecord(
        std::unique_ptr<Gdiplus::Image>(MRender::LoadImageFromFile(Manager::GetSkinFolder() + name)), frames);
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
    auto info = MakeRecord(
        std::unique_ptr<Gdiplus::Image>(MRender::LoadImageFromIDResource(resourceId, type, module)), frames);
    if (!info)
        return nullptr;
    info->resourceId = resourceId;
    return cache.emplace(resourceId, std::move(info)).first->second.get();
}

void PaintManager::ClearImgResInfo() {
    LockGuard guard(m_imageLock);
    m_imagesByName.clear();
    m_imagesByAppId.clear();
    m_imagesByLibId.clear();
}

void PaintManager::AddGDITempFont(UINT resourceId) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!FindLibraryResource(resourceId, L"ttf", data, size))
        return;
    DWORD count = 0;
    HANDLE font = ::AddFontMemResourceEx(const_cast<void*>(data), size, nullptr, &count);
    if (font == nullptr)
        return;
    LockGuard guard(m_fontLock);
    m_gdiFonts.push_back(font);
}

Gdiplus::FontFamily* PaintManager::KeepFirstFamily(
    const wchar_t* name, std::unique_ptr<Gdiplus::PrivateFontCollection> collection) {
    if (collection->GetLastStatus() != Gdiplus::Ok || collection->GetFamilyCount() < 1)
        return nullptr;
    auto family = std::make_unique<Gdiplus::FontFamily>();
    INT found = 0;
    if (collection->GetFamilies(1, family.get(), &found) != Gdiplus::Ok || found < 1)
        return nullptr;
    LockGuard guard(m_fontLock);
    FontEntry& entry = m_fonts[name];
    entry.family = std::move(family);
    entry.collection = std::move(collection);
    return entry.family.get();
}

Gdiplus::FontFamily* PaintManager::AddTempFont(const wchar_t* name, const wchar_t* file) {
    if (name == nullptr || *name == L'\0' || file == nullptr || *file == L'\0')
        return nullptr;
    auto collection = std::make_unique<Gdiplus::PrivateFontCollection>();
    if (collection->AddFontFile(file) != Gdiplus::Ok)
        return nullptr;
    return KeepFirstFamily(name, std::move(collection));
}

Gdiplus::FontFamily* PaintManager::AddTempFont(const wchar_t* name, UINT resourceId) {
    if (name == nullptr || *name == L'\0')
        return nullptr;
    const void* data = nullptr;
    DWORD size = 0;
    if (!FindLibraryResource(resourceId, L"ttf", data, size))
        return nullptr;
    auto collection = std::make_unique<Gdiplus::PrivateFontCollection>();
    if (collection->AddMemoryFont(data, static_cast<INT>(size)) != Gdiplus::Ok)
        return nullptr;
    return KeepFirstFamily(name, std::move(collection));
}

Gdiplus::FontFamily* PaintManager::FindTempFont(const wchar_t* name) {
    if (name == nullptr || *name == L'\0')
        return nullptr;
    LockGuard guard(m_fontLock);
    if (auto it = m_fonts.find(name); it != m_fonts.end())
        return it->second.family.get();
    auto family = std::make_unique<Gdiplus::FontFamily>(name);
    if (family->GetLastStatus() != Gdiplus::Ok || !family->IsAvailable())
        return nullptr;
    FontEntry& entry = m_fonts[name];
    entry.family = std::move(family);
    return entry.family.get();
}

void PaintManager::ClearTempFont() {
    LockGuard guard(m_fontLock);
    // Families first: they refer to their collections.
    for (auto& [name, entry] : m_fonts)
        entry.family.reset();
    m_fonts.clear();
    for (HANDLE font : m_gdiFonts)
        ::RemoveFontMemResourceEx(font);
    m_gdiFonts.clear();
}

}  // namespace Tessel
