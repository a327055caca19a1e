#include "display/DisplayStatus.h"

#include "display/DisplayManager.h"
#include "common/ProgramLog.h"

#include <algorithm>

namespace {

constexpr int kMaxPackedCount = 15;
constexpr int kUnknownModel = 3;

// Bit layout: count 0-3, first model 4-5, second model 6-7, reported 8, light 9, Fahrenheit 10, shown 11-20.
constexpr int kFirstModelShift = 4;
constexpr int kSecondModelShift = 6;
constexpr uint32_t kReportedBit = 1u << 8;
constexpr uint32_t kLightBit = 1u << 9;
constexpr uint32_t kFahrenheitBit = 1u << 10;
constexpr int kShownShift = 11;

uint32_t PackModel(int model) noexcept {
    return model == kModelK1 || model == kModelK2 || model == 0 ? static_cast<uint32_t>(model)
                                                                : kUnknownModel;
}

const wchar_t* ModelName(int model) noexcept {
    switch (model) {
        case kModelK1:
            return L"K1";
        case kModelK2:
            return L"K2";
        default:
            return L"display";
    }
}

// Device paths are ASCII in practice; anything else comes through the system code page.
std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                        static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}

}  // namespace

uint32_t PackDisplayStatus(const DisplayStatus& status) noexcept {
    uint32_t packed = static_cast<uint32_t>(std::clamp(status.count, 0, kMaxPackedCount));
    packed |= PackModel(status.models[0]) << kFirstModelShift;
    packed |= PackModel(status.models[1]) << kSecondModelShift;
    packed |= status.reported ? kReportedBit : 0;
    packed |= status.lightOn ? kLightBit : 0;
    packed |= status.fahrenheit ? kFahrenheitBit : 0;
    packed |= static_cast<uint32_t>(std::clamp(status.shown, 0, 999)) << kShownShift;
    return packed;
}

DisplayStatus UnpackDisplayStatus(uint32_t packed) noexcept {
    DisplayStatus status;
    status.count = static_cast<int>(packed & 0xF);
    status.models[0] = static_cast<int>((packed >> kFirstModelShift) & 0x3);
    status.models[1] = static_cast<int>((packed >> kSecondModelShift) & 0x3);
    status.reported = (packed & kReportedBit) != 0;
    status.lightOn = (packed & kLightBit) != 0;
    status.fahrenheit = (packed & kFahrenheitBit) != 0;
    status.shown = static_cast<int>((packed >> kShownShift) & 0x3FF);
    return status;
}

std::wstring FormatDisplayStatus(const DisplayStatus& status) {
    if (status.count <= 0) {
        return L"No display connected";
    }
    std::wstring text;
    if (status.count == 1) {
        text = ModelName(status.models[0]);
    } else if (status.count == 2) {
        text = std::wstring(ModelName(status.models[0])) + L" + " + ModelName(status.models[1]);
    } else {
        text = std::to_wstring(status.count) + L" displays";
    }
    text += L" \u00B7 ";
    if (!status.reported) {
        text += L"no reading yet";
    } else if (!status.lightOn) {
        text += L"light off";
    } else {
        text += std::to_wstring(status.shown) + (status.fahrenheit ? L" \u00B0F" : L" \u00B0C");
    }
    return text;
}

std::vector<OpenDisplay> ListOpenDisplays() {
    std::vector<OpenDisplay> displays;
    const DisplayManager& manager = DisplayManager::Instance();
    for (int i = 0; const DisplayRecord* record = manager.Record(i); ++i) {
        displays.push_back(OpenDisplay{record->modelTag, record->path});
    }
    return displays;
}

void LogDisplayChanges(const std::vector<OpenDisplay>& before,
                       const std::vector<OpenDisplay>& after) noexcept {
    const auto log = [](const wchar_t* event, const OpenDisplay& display) {
        LogEvent(L"Display %ls: %ls (%ls)", event, ModelName(display.model), Widen(display.path).c_str());
    };
    const auto contains = [](const std::vector<OpenDisplay>& list, const OpenDisplay& display) {
        return std::any_of(list.begin(), list.end(),
                           [&](const OpenDisplay& other) { return other.path == display.path; });
    };
    for (const OpenDisplay& display : after) {
        if (!contains(before, display)) {
            log(L"found", display);
        }
    }
    for (const OpenDisplay& display : before) {
        if (!contains(after, display)) {
            log(L"lost", display);
        }
    }
}
